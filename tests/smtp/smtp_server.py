"""A real SMTP server on 127.0.0.1 for the mail tests.

Each message received is written to OUT/NNN.eml, its envelope to OUT/NNN.json.
Every command line received, exactly as it came (line ending included, the message's
own lines left out), goes to OUT/commands.jsonl as {"session": n, "line": "..."}: the
tests see there whatever a client put on the wire, injected commands included.
Prints "READY <port>" once it listens; runs until killed.
"""
import argparse
import json
import os
import socket
import ssl
import sys
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class CommandLog:
    """The command lines of one connection, split on LF like the server itself does."""

    sessions = 0

    def __init__(self, out):
        CommandLog.sessions += 1
        self.session = CommandLog.sessions
        self.path = os.path.join(out, "commands.jsonl")
        self.pending = b""
        self.in_data = False

    def feed(self, data):
        self.pending += data
        while b"\n" in self.pending:
            line, self.pending = self.pending.split(b"\n", 1)
            line += b"\n"
            if self.in_data:
                if line in (b".\r\n", b".\n"):
                    self.in_data = False
                continue
            with open(self.path, "a") as f:
                f.write(json.dumps({"session": self.session, "line": line.decode("latin-1")}) + "\n")
            if line.rstrip(b"\r\n").upper() == b"DATA":
                self.in_data = True


class LoggingSMTP(SMTP):
    def __init__(self, *args, out, **kwargs):
        super().__init__(*args, **kwargs)
        self.command_log = CommandLog(out)

    def data_received(self, data):
        self.command_log.feed(data)
        super().data_received(data)


class LoggingController(Controller):
    def __init__(self, *args, out, **kwargs):
        self.out = out
        super().__init__(*args, **kwargs)

    def factory(self):
        return LoggingSMTP(self.handler, out=self.out, **self.SMTP_kwargs)


class Saver:
    def __init__(self, out, refuse=()):
        self.out = out
        self.n = 0
        self.refuse = {a.lower() for a in refuse}

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower() in self.refuse:
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.n += 1
        base = os.path.join(self.out, "%03d" % self.n)
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content or envelope.content)
        with open(base + ".json", "w") as f:
            json.dump({"from": envelope.mail_from, "rcpt": envelope.rcpt_tos}, f)
        return "250 OK"


def drop(port, mode, out):
    """drop: hangs up in the middle of the message's data; mute: takes it and never
    answers; slow: takes it and answers after 3 seconds; silent: never greets."""
    import threading

    srv = socket.socket()
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("127.0.0.1", port))
    srv.listen(5)
    print("READY %d" % port, flush=True)
    while True:
        conn, _ = srv.accept()
        threading.Thread(target=converse, args=(conn, mode, out), daemon=True).start()


def converse(conn, mode, out):
    f = conn.makefile("rb")
    log = CommandLog(out)
    if mode == "silent":
        time.sleep(3600)
    conn.sendall(b"220 localhost ESMTP\r\n")
    while True:
        line = f.readline()
        if not line:
            break
        log.feed(line)
        cmd = line[:4].upper()
        if cmd in (b"EHLO", b"HELO"):
            conn.sendall(b"250 localhost\r\n")
        elif cmd == b"QUIT":
            conn.sendall(b"221 Bye\r\n")
            conn.close()
            return
        elif cmd == b"DATA":
            conn.sendall(b"354 go ahead\r\n")
            if mode == "slow":
                while f.readline() not in (b"", b".\r\n"):
                    pass
                time.sleep(3)
                conn.sendall(b"250 OK\r\n")
                continue
            if mode == "mute":
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
    p.add_argument("--mode", choices=["plain", "starttls", "implicit", "drop", "mute", "slow", "silent"],
                   default="plain")
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--auth")
    p.add_argument("--out", required=True)
    p.add_argument("--refuse", action="append", default=[], help="a recipient answered with 550")
    a = p.parse_args()
    if a.mode in ("drop", "mute", "slow", "silent"):
        return drop(a.port, a.mode, a.out)

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
    c = LoggingController(Saver(a.out, a.refuse), hostname="127.0.0.1", port=a.port, server_hostname="localhost",
                          ready_timeout=10, out=a.out, **kwargs)
    c.start()
    print("READY %d" % a.port, flush=True)
    try:
        while True:
            time.sleep(3600)
    finally:
        c.stop()


if __name__ == "__main__":
    main()
