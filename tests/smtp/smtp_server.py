"""A real SMTP server on 127.0.0.1 for the mail tests.

Each message received is written to OUT/NNN.eml, its envelope to OUT/NNN.json.
Prints "READY <port>" once it listens; runs until killed.
"""
import argparse
import json
import os
import ssl
import sys
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Saver:
    def __init__(self, out):
        self.out = out
        self.n = 0

    async def handle_DATA(self, server, session, envelope):
        self.n += 1
        base = os.path.join(self.out, "%03d" % self.n)
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content or envelope.content)
        with open(base + ".json", "w") as f:
            json.dump({"from": envelope.mail_from, "rcpt": envelope.rcpt_tos}, f)
        return "250 OK"


def drop(port, mute):
    """Hangs up in the middle of the message's data, or (mute) takes it and never answers."""
    import socket

    srv = socket.socket()
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("127.0.0.1", port))
    srv.listen(5)
    print("READY %d" % port, flush=True)
    while True:
        conn, _ = srv.accept()
        f = conn.makefile("rb")
        conn.sendall(b"220 localhost ESMTP\r\n")
        while True:
            line = f.readline()
            if not line:
                break
            cmd = line[:4].upper()
            if cmd in (b"EHLO", b"HELO"):
                conn.sendall(b"250 localhost\r\n")
            elif cmd == b"DATA":
                conn.sendall(b"354 go ahead\r\n")
                if mute:
                    while f.readline() not in (b"", b".\r\n"):
                        pass
                    time.sleep(3600)
                f.readline()
                conn.shutdown(socket.SHUT_RDWR)
                f.close()
                conn.close()
                break
            else:
                conn.sendall(b"250 OK\r\n")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--mode", choices=["plain", "starttls", "implicit", "drop", "mute"], default="plain")
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--auth")
    p.add_argument("--out", required=True)
    a = p.parse_args()
    if a.mode in ("drop", "mute"):
        return drop(a.port, a.mode == "mute")

    kwargs = {}
    if a.mode != "plain":
        ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        ctx.load_cert_chain(a.cert, a.key)
        if a.mode == "starttls":
            kwargs["tls_context"] = ctx
            kwargs["require_starttls"] = True
        else:
            kwargs["ssl_context"] = ctx
    if a.auth:
        user, password = a.auth.split(":", 1)

        def check(server, session, envelope, mechanism, data):
            ok = isinstance(data, LoginPassword) and data.login.decode() == user and data.password.decode() == password
            return AuthResult(success=ok, handled=False)

        kwargs["authenticator"] = check
        kwargs["auth_required"] = True
        kwargs["auth_require_tls"] = a.mode == "starttls"
    c = Controller(Saver(a.out), hostname="127.0.0.1", port=a.port, server_hostname="localhost",
                   ready_timeout=10, **kwargs)
    c.start()
    print("READY %d" % a.port, flush=True)
    try:
        while True:
            time.sleep(3600)
    finally:
        c.stop()


if __name__ == "__main__":
    main()
