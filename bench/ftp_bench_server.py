#!/usr/bin/python3
"""A pyftpdlib server on 127.0.0.1 for the transfer benchmarks.

Usage: ftp_bench_server.py ROOT PORT USER PASSWORD [MAX_CONNECTIONS_PER_ADDRESS]
Prints "ready" once it listens; stops on SIGTERM. MAX_CONNECTIONS_PER_ADDRESS (default 0, no
limit) makes it turn further connections away with "421 Too many connections from the same IP".
"""
import signal
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    root, port, user, password = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
    per_address = int(sys.argv[5]) if len(sys.argv) > 5 else 0
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    # Passive data connections on any free port: a small range would run into its own ports
    # still in TIME_WAIT when thousands of files move.
    handler.passive_ports = None
    handler.masquerade_address = None
    server = FTPServer(("127.0.0.1", port), handler)
    server.max_cons = 0
    server.max_cons_per_ip = per_address
    signal.signal(signal.SIGTERM, lambda *_: server.close_all())
    print("ready", flush=True)
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
