#!/usr/bin/python3
"""A scripted FTP server that misbehaves on cue, for the cases a real server will not produce.

Listens on 127.0.0.1 (port 0 = any free port), prints "PORT <n>" on stdout, serves each control
connection on its own thread and appends every command it receives to --transcript as
"<session> <line>". It ends when stdin reaches its end.

Behaviours (--mode):
  silent            accepts connections and never says anything
  endless-greeting  greets with "220-" lines that never end
  mute-after-login  logs in, then reads commands and never answers
  echo-password     refuses the login with a reply that repeats the password
  listing           normal login; LIST/MLSD send the bytes of --listing-file
  endless-listing   LIST sends short lines for ever
  endless-line      LIST sends one line that never ends
  stalled-data      RETR opens the data connection and sends nothing
  no-accept         active mode: PORT/EPRT accepted, but the server never connects
EPSV is refused in every mode, and PASV names --pasv-address (default 10.255.255.1, which is
not this machine) while listening on 127.0.0.1, so a client that trusts the PASV address fails.
"""

import argparse
import os
import socket
import sys
import threading
import time


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", required=True)
    parser.add_argument("--transcript", required=True)
    parser.add_argument("--listing-file")
    parser.add_argument("--pasv-address", default="10.255.255.1")
    args = parser.parse_args()

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    sys.stdout.write("PORT %d\n" % listener.getsockname()[1])
    sys.stdout.flush()

    lock = threading.Lock()
    transcript = open(args.transcript, "a", buffering=1)
    counter = {"n": 0}

    def record(session, line):
        with lock:
            transcript.write("%d %s\n" % (session, line))

    def serve(conn, session):
        try:
            Session(conn, session, args, record).run()
        except OSError:
            pass
        finally:
            try:
                conn.close()
            except OSError:
                pass

    def accept_loop():
        while True:
            conn, _ = listener.accept()
            counter["n"] += 1
            threading.Thread(target=serve, args=(conn, counter["n"]), daemon=True).start()

    threading.Thread(target=accept_loop, daemon=True).start()
    while sys.stdin.buffer.read(4096):
        pass
    os._exit(0)


class Session:
    def __init__(self, conn, number, args, record):
        self.conn = conn
        self.number = number
        self.args = args
        self.record = record
        self.file = conn.makefile("rb")
        self.pasv = None

    def send(self, text):
        self.conn.sendall(text.encode("latin-1"))

    def lines(self):
        while True:
            raw = self.file.readline(65536)
            if not raw:
                return
            line = raw.decode("latin-1").rstrip("\r\n")
            shown = "PASS ******" if line.upper().startswith("PASS ") else line
            self.record(self.number, shown)
            yield line

    def run(self):
        mode = self.args.mode
        if mode == "silent":
            for _ in self.lines():
                pass
            return
        if mode == "endless-greeting":
            while True:
                self.send("220-Welcome, and welcome again, and welcome once more\r\n")
        self.send("220 Scripted server ready.\r\n")
        password = ""
        logged_in = False
        for line in self.lines():
            command, _, argument = line.partition(" ")
            command = command.upper()
            if logged_in and mode == "mute-after-login":
                continue
            if command == "USER":
                self.send("331 Password please.\r\n")
            elif command == "PASS":
                password = argument
                if mode == "echo-password":
                    self.send("530 Login incorrect for password %s.\r\n" % password)
                else:
                    logged_in = True
                    self.send("230 Logged in.\r\n")
            elif command == "PWD":
                self.send('257 "/" is the current folder.\r\n')
            elif command == "CWD":
                self.send("250 OK.\r\n")
            elif command == "TYPE":
                self.send("200 Type set.\r\n")
            elif command == "EPSV":
                self.send("500 EPSV not understood.\r\n")
            elif command == "PASV":
                self.open_pasv()
            elif command in ("PORT", "EPRT"):
                self.send("200 Active data connection noted.\r\n")
            elif command == "SIZE":
                self.send("213 1000000\r\n")
            elif command in ("LIST", "MLSD", "NLST"):
                self.listing()
            elif command == "RETR":
                self.retrieve()
            elif command == "QUIT":
                self.send("221 Bye.\r\n")
                return
            else:
                self.send("502 Not implemented here.\r\n")

    def open_pasv(self):
        self.pasv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.pasv.bind(("127.0.0.1", 0))
        self.pasv.listen(1)
        port = self.pasv.getsockname()[1]
        address = self.args.pasv_address.replace(".", ",")
        self.send("227 Entering Passive Mode (%s,%d,%d).\r\n" % (address, port // 256, port % 256))

    def data_connection(self):
        if self.pasv is None:
            return None
        self.pasv.settimeout(10)
        data, _ = self.pasv.accept()
        self.pasv.close()
        self.pasv = None
        return data

    def listing(self):
        mode = self.args.mode
        if mode == "no-accept":
            self.send("150 Opening data connection.\r\n")
            return  # never connects
        self.send("150 Here it comes.\r\n")
        data = self.data_connection()
        if data is None:
            self.send("425 No data connection.\r\n")
            return
        try:
            if mode == "endless-listing":
                n = 0
                while True:
                    n += 1
                    data.sendall(b"-rw-r--r-- 1 u g 1 Jan 01 2024 file%d\r\n" % n)
            elif mode == "endless-line":
                data.sendall(b"-rw-r--r-- 1 u g 1 Jan 01 2024 ")
                while True:
                    data.sendall(b"x" * 65536)
            else:
                with open(self.args.listing_file, "rb") as listing:
                    data.sendall(listing.read())
        except OSError:
            self.send("426 Transfer aborted.\r\n")
            return
        finally:
            data.close()
        self.send("226 Done.\r\n")

    def retrieve(self):
        mode = self.args.mode
        if mode == "no-accept":
            self.send("150 Opening data connection.\r\n")
            return
        self.send("150 Opening data connection.\r\n")
        data = self.data_connection()
        if data is None:
            self.send("425 No data connection.\r\n")
            return
        if mode == "stalled-data":
            time.sleep(3600)
        data.close()
        self.send("226 Done.\r\n")


if __name__ == "__main__":
    main()
