#!/usr/bin/python3
"""pyftpdlib with faults on cue, for the fault-injection suite.

A real FTP server (pyftpdlib) serving ROOT to one user, as scripts/ftp_server.py, that misbehaves
in the ways a test asks for. Prints "PORT <n>" once it listens; ends when stdin closes. Every
command goes to --transcript as "<session> <line>" (PASS masked), and every fault that fires
adds "0 EVENT <what>", so a test can wait for it and check what the client did.

--no-mlsd and --no-active as for scripts/ftp_server.py.

Faults (NAME matches when it occurs in the file's path; each may be given more than once):
  --max-cons-per-ip N        pyftpdlib's own cap: "421 Too many connections from the same IP"
  --refuse-logins FROM:N     connections FROM to FROM+N-1 (counted from 1) are greeted with
                             that 421 and closed
  --refuse-passwords FROM:N  the same connections are greeted, but their PASS is answered
                             "530 Sorry, the maximum number of clients (2) from your host are
                             already connected." and they are closed
  --reset-retr NAME:OFFSET:TIMES   RETR sends OFFSET bytes, then resets the data connection
  --reset-stor NAME:OFFSET:TIMES   STOR takes OFFSET bytes, then resets the data connection
  --close-after NAME         once: the control connection closes right after NAME's "226"
  --stall-retr NAME          RETR answers 150 and never sends a byte
  --stall-stor NAME:OFFSET   STOR takes OFFSET bytes, then stops reading ("EVENT stalled")
  --grow-on-stor NAME=PATH   when STOR of NAME starts, the local file PATH grows by 1000 bytes
  --size-reply TEXT          SIZE is answered with TEXT ("213 123456789012345678901234567890")
  --no-size                  SIZE is not a command here ("500 ... not understood")
  --no-rename                RNFR and RNTO are refused ("550 Not enough privileges.")
  --bad-pasv                 EPSV is unknown and PASV's reply names no address
  --inject-name NAME         every listing also shows NAME (Python escapes allowed: "a\\x1bb")
  --repeat-password          every PASS is refused with a reply that repeats the password after
                             a thousand characters, where a limit of the text's length cuts it
  --one-command-per-read     of what one read of the control connection brings, only the first
                             command is taken and the rest dropped ("EVENT dropped ..."), as
                             servers and firewalls do that expect a client to wait for each reply
"""

import argparse
import codecs
import logging
import os
import socket
import struct
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer

# The options, command table and start-up it shares with the plain test server.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import ftp_server  # noqa: E402


def parse_spec(text, separator, count):
    parts = text.rsplit(separator, count - 1)
    if len(parts) != count:
        raise SystemExit("bad fault: " + text)
    return parts


def main():
    parser = argparse.ArgumentParser()
    ftp_server.add_common_arguments(parser, transcript_required=True)
    parser.add_argument("--max-cons-per-ip", type=int, default=0)
    parser.add_argument("--refuse-logins", default="1:0")
    parser.add_argument("--refuse-passwords", default="1:0")
    parser.add_argument("--reset-retr", action="append", default=[])
    parser.add_argument("--reset-stor", action="append", default=[])
    parser.add_argument("--close-after", action="append", default=[])
    parser.add_argument("--stall-retr", action="append", default=[])
    parser.add_argument("--stall-stor", action="append", default=[])
    parser.add_argument("--grow-on-stor", action="append", default=[])
    parser.add_argument("--size-reply")
    parser.add_argument("--no-size", action="store_true")
    parser.add_argument("--no-rename", action="store_true")
    parser.add_argument("--bad-pasv", action="store_true")
    parser.add_argument("--inject-name", action="append", default=[])
    parser.add_argument("--repeat-password", action="store_true")
    parser.add_argument("--one-command-per-read", action="store_true")
    args = parser.parse_args()

    transcript = open(args.transcript, "a", buffering=1)
    lock = threading.Lock()
    state = {"sessions": 0}
    refuse_from, refuse_count = (int(n) for n in parse_spec(args.refuse_logins, ":", 2))
    refuse_pass_from, refuse_pass_count = (
        int(n) for n in parse_spec(args.refuse_passwords, ":", 2))

    def record(session, line):
        with lock:
            transcript.write("%d %s\n" % (session, line))

    # Faults that fire a limited number of times: [name, offset, times left].
    resets = {"RETR": [], "STOR": []}
    for cmd, specs in (("RETR", args.reset_retr), ("STOR", args.reset_stor)):
        for spec in specs:
            name, offset, times = parse_spec(spec, ":", 3)
            resets[cmd].append([name, int(offset), int(times)])
    stalls = []
    for spec in args.stall_stor:
        name, offset = parse_spec(spec, ":", 2)
        stalls.append([name, int(offset)])
    growers = [parse_spec(spec, "=", 2) for spec in args.grow_on_stor]
    close_after = list(args.close_after)
    injected = [codecs.decode(n, "unicode_escape") for n in args.inject_name]

    def take_reset(cmd, path):
        for fault in resets[cmd]:
            if fault[0] in path and fault[2] > 0:
                fault[2] -= 1
                return fault[1]
        return None

    class FaultyDTP(DTPHandler):
        limit = None   # bytes after which the connection is reset
        stall = None   # bytes after which nothing more is read

        def reset_now(self, what):
            record(0, "EVENT reset %s after %d bytes" % (what, self.get_transmitted_bytes()))
            try:
                self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            except OSError:
                pass
            self.transfer_finished = False
            self._resp = ("426 Data connection reset by the server.", logging.debug)
            self.close()

        def send(self, data):
            if self.limit is not None:
                allowed = self.limit - self.tot_bytes_sent
                if allowed <= 0:
                    self.reset_now("RETR")
                    return 0
                data = data[:allowed]
            return super().send(data)

        def handle_read(self):
            if self.limit is None and self.stall is None:
                return super().handle_read()
            try:
                chunk = self.recv(self.ac_in_buffer_size)
            except OSError:
                self.handle_error()
                return
            if not chunk:
                self.tot_bytes_received += 0
                self.transfer_finished = True
                return
            bound = self.limit if self.limit is not None else self.stall
            allowed = max(0, bound - self.tot_bytes_received)
            self.tot_bytes_received += len(chunk)
            self.file_obj.write(chunk[:allowed])
            if self.tot_bytes_received >= bound:
                if self.limit is not None:
                    self.reset_now("STOR")
                else:
                    self.file_obj.flush()
                    record(0, "EVENT stalled after %d bytes" % bound)
                    self.ioloop.unregister(self._fileno)  # never read again

        handle_read_event = handle_read  # the ioloop calls this name

    class InjectingFS(AbstractedFS):
        def format_list(self, basedir, listing, ignore_err=True):
            yield from super().format_list(basedir, listing, ignore_err)
            for name in injected:
                line = "-rw-r--r--   1 owner    group           3 Jan 01  2024 %s\r\n" % name
                yield line.encode("utf8", "surrogateescape")

        def format_mlsx(self, basedir, listing, perms, facts, ignore_err=True):
            yield from super().format_mlsx(basedir, listing, perms, facts, ignore_err)
            for name in injected:
                line = "type=file;size=3;modify=20240101000000; %s\r\n" % name
                yield line.encode("utf8", "surrogateescape")

    class Handler(FTPHandler):
        dtp_handler = FaultyDTP
        abstracted_fs = InjectingFS
        use_sendfile = False  # every byte goes through FaultyDTP.send

        def on_connect(self):
            with lock:
                state["sessions"] += 1
                self.session_number = state["sessions"]

        def handle(self):
            self.on_connect()
            if refuse_from <= self.session_number < refuse_from + refuse_count:
                record(self.session_number, "EVENT refused at login")
                self.respond("421 Too many connections from the same IP address.")
                self.close_when_done()
                return
            if not self._closed and not self._closing:
                self.respond("220 %s" % self.banner)

        def recv(self, buffer_size):
            data = super().recv(buffer_size)
            end = data.find(b"\n") if args.one_command_per_read else -1
            if 0 <= end < len(data) - 1:
                record(getattr(self, "session_number", 0),
                       "EVENT dropped " + " ".join(data[end + 1:].decode("utf8", "replace").split()))
                data = data[:end + 1]
            return data

        def ftp_PASS(self, line):
            if refuse_pass_from <= self.session_number < refuse_pass_from + refuse_pass_count:
                record(self.session_number, "EVENT refused the password")
                self.respond("530 Sorry, the maximum number of clients (2) from your host are "
                             "already connected.")
                self.close_when_done()
                return
            if args.repeat_password:
                record(self.session_number, "EVENT repeated the password")
                self.respond("530 Login incorrect" + "." * 988 + " (password " + line + ")")
                return
            return super().ftp_PASS(line)

        def pre_process_command(self, line, cmd, arg):
            shown = "PASS ******" if cmd == "PASS" else line
            record(getattr(self, "session_number", 0), shown)
            return super().pre_process_command(line, cmd, arg)

        def _arm(self, cmd, path):
            self.pending = (take_reset(cmd, path), None)
            if cmd == "STOR":
                for name, bound in stalls:
                    if name in path:
                        self.pending = (self.pending[0], bound)
            if self.data_channel is not None:
                self.data_channel.limit, self.data_channel.stall = self.pending
                self.pending = (None, None)

        def ftp_RETR(self, file):
            if any(name in file for name in args.stall_retr):
                record(self.session_number, "EVENT stalled RETR")
                self.respond("150 File status okay. About to open data connection.")
                return None
            self._arm("RETR", file)
            return super().ftp_RETR(file)

        def ftp_STOR(self, file, mode="w"):
            for name, path in growers:
                if name in file:
                    with open(path, "ab") as grown:
                        grown.write(b"g" * 1000)
                    record(self.session_number, "EVENT grew " + path)
            self._arm("STOR", file)
            return super().ftp_STOR(file, mode)

        def _on_dtp_connection(self):
            # A data connection made after the command (active mode) takes its faults along.
            if self.data_channel is not None:
                self.data_channel.limit, self.data_channel.stall = getattr(
                    self, "pending", (None, None))
                self.pending = (None, None)
            return super()._on_dtp_connection()

        def on_file_sent(self, file):
            self._maybe_close(file)

        def on_file_received(self, file):
            self._maybe_close(file)

        def _maybe_close(self, file):
            for name in list(close_after):
                if name in file:
                    close_after.remove(name)
                    record(self.session_number, "EVENT closing the control connection")
                    self.close_when_done()  # right after the "226" that is on its way

        def ftp_SIZE(self, path):
            if args.size_reply is not None:
                self.respond(args.size_reply)
                return
            return super().ftp_SIZE(path)

        def ftp_PASV(self, line):
            if args.bad_pasv:
                self.respond("227 Entering Passive Mode (no address today).")
                return
            return super().ftp_PASV(line)

    authorizer = DummyAuthorizer()
    perm = args.perm.replace("f", "") if args.no_rename else args.perm
    authorizer.add_user(args.user, args.password, args.root, perm=perm)
    Handler.authorizer = authorizer
    Handler.auth_failed_timeout = 0.05
    Handler.banner = "Quillon test server with faults ready."
    proto = ftp_server.commands_of(FTPHandler, args)
    if args.no_size:
        proto.pop("SIZE", None)
    if args.bad_pasv:
        proto.pop("EPSV", None)
    Handler.proto_cmds = proto

    logging.basicConfig(level=logging.CRITICAL)
    server = FTPServer(("127.0.0.1", 0), Handler)
    server.max_cons_per_ip = args.max_cons_per_ip
    ftp_server.serve(server)


if __name__ == "__main__":
    main()
