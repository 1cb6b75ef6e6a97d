#!/usr/bin/python3
"""A local SMTP server for the mail tests.

Keeps every message as <n>.json (envelope sender, recipients, data in base64) in a folder and
prints its port once it listens. Options: --refuse ADDRESS (550 for that recipient),
--tls CERT KEY (STARTTLS offered), --auth USER:PASSWORD (AUTH required), --stall SECONDS
(waits that long before answering DATA), --limit N (after N messages every MAIL FROM is
answered 421, as a server going down does), --host ADDRESS (where it listens; 127.0.0.1 unless
given).
"""
import argparse
import asyncio
import base64
import json
import os
import socket
import ssl
import sys
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Keeper:
    def __init__(self, folder, refuse, stall, limit):
        self.folder = folder
        self.refuse = set(a.lower() for a in refuse)
        self.stall = stall
        self.limit = limit
        self.count = 0
        self.taken = 0

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if self.limit is not None and self.taken >= self.limit:
            return "421 4.3.2 Service not available, closing transmission channel"
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower() in self.refuse:
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown in local recipient table" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.stall:
            await asyncio.sleep(self.stall)
        self.count += 1
        while os.path.exists(os.path.join(self.folder, "%04d.json" % self.count)):
            self.count += 1
        record = {
            "from": envelope.mail_from,
            "to": envelope.rcpt_tos,
            "data": base64.b64encode(envelope.original_content).decode(),
        }
        path = os.path.join(self.folder, "%04d.json" % self.count)
        with open(path + ".tmp", "w") as f:
            json.dump(record, f)
        os.rename(path + ".tmp", path)
        self.taken += 1
        return "250 Message accepted for delivery"


def main():
    p = argparse.ArgumentParser()
    p.add_argument("folder")
    p.add_argument("--refuse", action="append", default=[])
    p.add_argument("--tls", nargs=2)
    p.add_argument("--auth")
    p.add_argument("--stall", type=float, default=0)
    p.add_argument("--limit", type=int)
    p.add_argument("--host", default="127.0.0.1")
    a = p.parse_args()

    with socket.socket() as s:
        s.bind((a.host, 0))
        port = s.getsockname()[1]

    kwargs = {}
    if a.tls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(a.tls[0], a.tls[1])
        kwargs["tls_context"] = context
        kwargs["require_starttls"] = True
    if a.auth:
        user, password = a.auth.split(":", 1)

        def check(server, session, envelope, mechanism, auth_data):
            ok = isinstance(auth_data, LoginPassword) and auth_data.login.decode() == user \
                and auth_data.password.decode() == password
            return AuthResult(success=ok, handled=False)

        kwargs["authenticator"] = check
        kwargs["auth_required"] = True
        kwargs["auth_require_tls"] = True
    controller = Controller(Keeper(a.folder, a.refuse, a.stall, a.limit), hostname=a.host, port=port,
                            server_hostname="localhost", **kwargs)
    controller.start()
    print(port, flush=True)
    try:
        sys.stdin.read()
    finally:
        controller.stop()


if __name__ == "__main__":
    main()
