#!/usr/bin/python3
"""A small NNTP server for the mail tests: greeting, CAPABILITIES, AUTHINFO, POST, QUIT.

Keeps every posted article as <n>.eml in a folder and prints its port once it listens.
Options: --greeting CODE (201: no posting), --refuse (441 for every article),
--auth USER:PASSWORD (AUTHINFO required before POST), --tls CERT KEY (STARTTLS offered),
--implicit (with --tls: TLS from the first byte, as on port 563), --host ADDRESS (where it
listens; 127.0.0.1 unless given).
"""
import argparse
import asyncio
import os
import ssl
import sys


def main():
    p = argparse.ArgumentParser()
    p.add_argument("folder")
    p.add_argument("--greeting", default="200")
    p.add_argument("--refuse", action="store_true")
    p.add_argument("--auth")
    p.add_argument("--tls", nargs=2)
    p.add_argument("--implicit", action="store_true")
    p.add_argument("--host", default="127.0.0.1")
    a = p.parse_args()
    context = None
    if a.tls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(a.tls[0], a.tls[1])
    count = [0]

    async def serve(reader, writer):
        def say(line):
            writer.write((line + "\r\n").encode())

        say(a.greeting + " kelvray test news server ready")
        user = None
        authed = a.auth is None
        while True:
            raw = await reader.readline()
            if not raw:
                break
            words = raw.decode("utf-8", "replace").strip().split(" ")
            command = words[0].upper()
            if command == "QUIT":
                say("205 bye")
                break
            elif command == "CAPABILITIES":
                say("101 capabilities follow")
                say("VERSION 2")
                say("POST")
                if a.auth:
                    say("AUTHINFO USER")
                if context and not a.implicit:
                    say("STARTTLS")
                say(".")
            elif command == "STARTTLS" and context and not a.implicit:
                say("382 continue with TLS negotiation")
                await writer.drain()
                await writer.start_tls(context)
            elif command == "AUTHINFO" and len(words) > 2 and words[1].upper() == "USER":
                user = words[2]
                say("381 password required")
            elif command == "AUTHINFO" and len(words) > 2 and words[1].upper() == "PASS":
                if a.auth and a.auth == "%s:%s" % (user, words[2]):
                    authed = True
                    say("281 authentication accepted")
                else:
                    say("481 authentication failed")
            elif command == "POST":
                if not authed:
                    say("480 authentication required")
                    continue
                say("340 send article to be posted. End with <CR-LF>.<CR-LF>")
                lines = []
                while True:
                    line = await reader.readline()
                    if not line or line == b".\r\n":
                        break
                    if line.startswith(b".."):
                        line = line[1:]
                    lines.append(line)
                if a.refuse:
                    say("441 posting failed: newsgroup is moderated")
                    continue
                count[0] += 1
                while os.path.exists(os.path.join(a.folder, "%04d.eml" % count[0])):
                    count[0] += 1
                with open(os.path.join(a.folder, "%04d.eml" % count[0]), "wb") as f:
                    f.write(b"".join(lines))
                say("240 article posted ok")
            else:
                say("500 unknown command")
            await writer.drain()
        await writer.drain()
        writer.close()

    async def run():
        server = await asyncio.start_server(serve, a.host, 0,
                                            ssl=context if a.implicit else None)
        print(server.sockets[0].getsockname()[1], flush=True)
        loop = asyncio.get_running_loop()
        await loop.run_in_executor(None, sys.stdin.read)
        server.close()

    asyncio.run(run())


if __name__ == "__main__":
    main()
