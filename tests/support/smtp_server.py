#!/usr/bin/python3
"""A real SMTP server for one test, on loopback: Debian's aiosmtpd with STARTTLS or TLS from the
first byte, an optional login, and recipients it refuses. Each message it accepts becomes
<folder>/<n>.json, decoded by Python's own e-mail parser: envelope, headers, subject and body.
Prints "ready" once it takes connections.

Usage: smtp_server.py PORT FOLDER MODE [--cert C --key K] [--login USER:PASSWORD]
       [--refuse ADDRESS]...; MODE is starttls, tls or plain.
"""
import argparse
import email
import email.policy
import json
import os
import signal
import ssl
import sys
import threading
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Keeper:
    def __init__(self, folder, refused):
        self.folder = folder
        self.refused = refused
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, options):
        if address in self.refused:
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        message = email.message_from_bytes(envelope.content, policy=email.policy.default)
        self.count += 1
        record = {
            # CLOCK_MONOTONIC, the clock of the program's trace, for bench/notify.
            "accepted_ms": time.clock_gettime_ns(time.CLOCK_MONOTONIC) / 1e6,
            "from": envelope.mail_from,
            "to": envelope.rcpt_tos,
            "login": session.auth_data or "",
            "tls": server.transport.get_extra_info("ssl_object") is not None,
            "headers": {k: str(v) for k, v in message.items()},
            "subject": str(message["Subject"]),
            "message_id": str(message["Message-ID"]),
            "body": message.get_content(),
        }
        path = os.path.join(self.folder, "%d.json" % self.count)
        with open(path + ".tmp", "w", encoding="utf-8") as f:
            json.dump(record, f, ensure_ascii=False)
        os.rename(path + ".tmp", path)
        return "250 2.0.0 Ok: queued as TESTE%d" % self.count


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("port", type=int)
    parser.add_argument("folder")
    parser.add_argument("mode", choices=["starttls", "tls", "plain"])
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--login")
    parser.add_argument("--refuse", action="append", default=[])
    args = parser.parse_args()

    context = None
    if args.mode != "plain":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
    options = {}
    if args.login:
        user, password = args.login.split(":", 1)

        def authenticator(server, session, envelope, mechanism, data):
            good = isinstance(data, LoginPassword) and data.login.decode() == user and \
                data.password.decode() == password
            return AuthResult(success=good, handled=False, auth_data=user if good else None)

        # With TLS from the first byte aiosmtpd sees no STARTTLS and would offer no login.
        options.update(authenticator=authenticator, auth_required=True,
                       auth_require_tls=args.mode == "starttls")
    if args.mode == "starttls":
        options.update(tls_context=context, require_starttls=True)
    elif args.mode == "tls":
        options.update(ssl_context=context)
    controller = Controller(Keeper(args.folder, args.refuse), hostname="127.0.0.1",
                            port=args.port, **options)
    controller.start()
    print("ready", flush=True)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    sys.exit(main())
