#!/usr/bin/python3
"""A local FTP server for Quillon's tests, benchmarks and demo (pyftpdlib).

Serves ROOT to one user with a password on 127.0.0.1. With --port 0 (the default) the system
picks a free port; the chosen port is printed on stdout as "PORT <n>" once the server listens.
The server ends at once, dropping its connections, when stdin reaches its end (the parent
closed the pipe or died) or on SIGTERM.

--transcript FILE appends every command the server receives, one per line, as "<session> <line>"
(the PASS argument masked), so tests can check exactly what a client sent.
--no-mlsd removes MLSD and MLST, so clients must parse LIST output.
--no-active refuses PORT and EPRT.
--tls-cert FILE (a PEM file with the certificate and its key) makes it an FTP server over TLS
(python3-openssl): AUTH TLS on the control connection, then TLS required for the login and for
every data connection. With --implicit-tls the TLS handshake starts as soon as a client
connects, before the greeting (implicit TLS, as on port 990).
--rate BYTES limits each data connection to about BYTES per second in each direction (a slow
line, for watching transfers; plain FTP only).
"""

import argparse
import logging
import os
import signal
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def add_common_arguments(parser, transcript_required=False):
    """The options every pyftpdlib server of the tests takes (this one and the one with faults)."""
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="user")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--perm", default="elradfmwMT")
    parser.add_argument("--transcript", required=transcript_required)
    parser.add_argument("--no-mlsd", action="store_true")
    parser.add_argument("--no-active", action="store_true")


def commands_of(base, args):
    """BASE's command table without the commands --no-mlsd and --no-active take away."""
    proto = dict(base.proto_cmds)
    if args.no_mlsd:
        proto.pop("MLSD", None)
        proto.pop("MLST", None)
    if args.no_active:
        proto.pop("PORT", None)
        proto.pop("EPRT", None)
    return proto


def serve(server):
    """Prints "PORT <n>" and serves until stdin reaches its end or SIGTERM comes.

    Either way the server ends at once, as one that dies: its connections drop without a
    goodbye or a TLS close. Tests stop it by closing stdin and sending SIGTERM right after, so
    both must end it alike, or what a client sees would depend on which came first."""
    server.max_cons = 64
    sys.stdout.write("PORT %d\n" % server.socket.getsockname()[1])
    sys.stdout.flush()

    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))

    # The parent keeps our stdin open for as long as it wants the server.
    def watch_stdin():
        try:
            while sys.stdin.buffer.read(4096):
                pass
        finally:
            os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(handle_exit=False)


def main():
    parser = argparse.ArgumentParser()
    add_common_arguments(parser)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--anonymous", action="store_true")
    parser.add_argument("--tls-cert")
    parser.add_argument("--implicit-tls", action="store_true")
    parser.add_argument("--rate", type=int, default=0)
    args = parser.parse_args()

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm=args.perm)
    if args.anonymous:
        authorizer.add_anonymous(args.root, perm=args.perm)

    transcript = open(args.transcript, "a", buffering=1) if args.transcript else None
    sessions = {"next": 0}

    base = FTPHandler
    if args.tls_cert:
        from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
        base = TLS_FTPHandler

        class DataHandler(TLS_DTPHandler):
            # Clients such as libcurl start the TLS handshake of a data connection as soon as it
            # is connected, before the command that uses it. pyftpdlib closes a data connection
            # that becomes readable before that command, so let it read while the handshake runs.
            def readable(self):
                if self._ssl_accepting:
                    return True
                return super().readable()

    class Handler(base):
        def handle(self):
            if args.implicit_tls:
                # Implicit TLS: the handshake comes first; the greeting waits for it.
                self.secure_connection(self.ssl_context)
            super().handle()

        def on_connect(self):
            sessions["next"] += 1
            self.session_number = sessions["next"]

        def pre_process_command(self, line, cmd, arg):
            if transcript is not None:
                shown = "PASS ******" if cmd == "PASS" else line
                transcript.write("%d %s\n" % (getattr(self, "session_number", 0), shown))
            return super().pre_process_command(line, cmd, arg)

    Handler.authorizer = authorizer
    Handler.auth_failed_timeout = 0.05  # tests of a refused login need not wait 3 s
    Handler.banner = "Quillon test server ready."
    Handler.proto_cmds = commands_of(base, args)
    if args.tls_cert:
        Handler.certfile = args.tls_cert
        Handler.dtp_handler = DataHandler
        Handler.tls_control_required = True
        Handler.tls_data_required = True
    elif args.rate > 0:
        class Throttled(ThrottledDTPHandler):
            read_limit = args.rate
            write_limit = args.rate
        Handler.dtp_handler = Throttled

    # Quiet unless something goes wrong; the transcript records the commands.
    logging.basicConfig(level=logging.WARNING)
    serve(FTPServer(("127.0.0.1", args.port), Handler))


if __name__ == "__main__":
    main()
