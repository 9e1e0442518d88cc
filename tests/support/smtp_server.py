#!/usr/bin/python3
"""A real SMTP server for Quillon's tests (aiosmtpd) on 127.0.0.1 and an ephemeral port.

Usage: smtp_server.py FOLDER

Prints "PORT <number>" once it listens. Every message it accepts is kept in FOLDER as
NNNN.eml (the message data as received, with the dot-stuffing undone) and NNNN.envelope
(lines "helo=...", "from=..." and one "to=..." per recipient), numbered from 0001; each file
appears whole (written beside and renamed). The server ends when its standard input closes,
so it never outlives the test that started it.
"""

import asyncio
import os
import sys

from aiosmtpd.smtp import SMTP


def write_whole(path, data):
    temporary = path + ".part"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, path)


class Recorder:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "%04d" % self.count)
        lines = ["helo=" + (session.host_name or ""), "from=" + (envelope.mail_from or "")]
        lines += ["to=" + r for r in envelope.rcpt_tos]
        text = "".join(line + "\n" for line in lines)
        write_whole(base + ".envelope", text.encode("utf-8", "surrogateescape"))
        write_whole(base + ".eml", envelope.original_content)
        return "250 Message accepted for delivery"


async def serve(folder):
    loop = asyncio.get_running_loop()
    recorder = Recorder(folder)
    server = await loop.create_server(
        lambda: SMTP(recorder, hostname="quillon-test", decode_data=False),
        "127.0.0.1", 0)
    port = server.sockets[0].getsockname()[1]
    sys.stdout.write("PORT %d\n" % port)
    sys.stdout.flush()

    stdin_closed = loop.create_future()

    def on_stdin():
        if not os.read(sys.stdin.fileno(), 4096) and not stdin_closed.done():
            stdin_closed.set_result(None)

    loop.add_reader(sys.stdin.fileno(), on_stdin)
    await stdin_closed
    server.close()
    await server.wait_closed()


def main():
    if len(sys.argv) != 2 or not os.path.isdir(sys.argv[1]):
        sys.stderr.write("usage: smtp_server.py FOLDER\n")
        return 2
    asyncio.run(serve(sys.argv[1]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
