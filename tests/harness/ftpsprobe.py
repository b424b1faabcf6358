#!/usr/bin/python3
"""FTPS probe of the harness self-tests.

Logs on to a test server over TLS (explicit AUTH TLS or implicit) and lists "/" through a data
connection protected with TLS that resumes the control connection's TLS session, as servers with
session reuse required (vsftpd require_ssl_reuse, proftpd) demand. Optionally checks the presented
certificate. Prints the conversation; exits 0 when every step worked and the listing holds --expect.
"""

import argparse
import re
import socket
import ssl
import sys

TIMEOUT = 10


class Control:
    def __init__(self, sock):
        self.sock = sock
        self.buffer = b""

    def line(self):
        while b"\n" not in self.buffer:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise EOFError("the server closed the control connection")
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.rstrip(b"\r").decode("latin-1")

    def reply(self):
        lines = [self.line()]
        if len(lines[0]) > 3 and lines[0][3] == "-":
            code = lines[0][:3]
            while True:
                lines.append(self.line())
                if lines[-1][:3] == code and (len(lines[-1]) == 3 or lines[-1][3] == " "):
                    break
        for line in lines:
            print("<", line)
        return lines[-1]

    def command(self, text):
        print(">", "PASS ****" if text.startswith("PASS ") else text)
        self.sock.sendall(text.encode("latin-1") + b"\r\n")
        return self.reply()


def expect(reply, codes):
    if not reply[:3] in codes:
        raise RuntimeError("unexpected reply: " + reply)


def make_context(args):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    if args.verify_ca:
        context.load_verify_locations(args.verify_ca)
        context.check_hostname = True
        context.verify_mode = ssl.CERT_REQUIRED
    else:
        context.check_hostname = False
        context.verify_mode = ssl.CERT_NONE
    context.options |= getattr(ssl, "OP_IGNORE_UNEXPECTED_EOF", 0)
    return context


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--mode", choices=["explicit", "implicit"], required=True)
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--no-prot", action="store_true", help="do not send PBSZ/PROT; data TLS anyway")
    parser.add_argument("--expect", help="a name the listing must hold")
    parser.add_argument("--cert-file", help="the certificate the server must present (PEM)")
    parser.add_argument("--verify-ca", help="verify the server for 127.0.0.1 against this CA file")
    parser.add_argument("--handshake-only", action="store_true")
    args = parser.parse_args()

    host = "127.0.0.1"
    context = make_context(args)
    raw = socket.create_connection((host, args.port), timeout=TIMEOUT)
    try:
        if args.mode == "implicit":
            control = Control(context.wrap_socket(raw, server_hostname=host))
            expect(control.reply(), ("220",))
        else:
            control = Control(raw)
            expect(control.reply(), ("220",))
            expect(control.command("AUTH TLS"), ("234",))
            control.sock = context.wrap_socket(raw, server_hostname=host)
    except ssl.SSLCertVerificationError as error:
        print("verify failed:", error.verify_message)
        return 3
    print("TLS:", control.sock.version(), control.sock.cipher()[0])
    if args.verify_ca:
        print("verify ok")

    if args.cert_file:
        with open(args.cert_file) as f:
            wanted = ssl.PEM_cert_to_DER_cert(f.read())
        if control.sock.getpeercert(binary_form=True) != wanted:
            print("the server presented another certificate")
            return 4
        print("certificate matches")
    if args.handshake_only:
        control.command("QUIT")
        return 0

    expect(control.command("USER " + args.user), ("230", "331"))
    expect(control.command("PASS " + args.password), ("230",))
    if not args.no_prot:
        expect(control.command("PBSZ 0"), ("200",))
        expect(control.command("PROT P"), ("200",))
    reply = control.command("PASV")
    expect(reply, ("227",))
    numbers = [int(n) for n in re.findall(r"\d+", reply[4:])[:6]]
    data_port = numbers[4] * 256 + numbers[5]

    raw_data = socket.create_connection((host, data_port), timeout=TIMEOUT)
    print(">", "LIST")
    control.sock.sendall(b"LIST\r\n")
    listing = b""
    try:
        data = context.wrap_socket(raw_data, server_hostname=host, session=control.sock.session)
        print("data TLS:", data.version(), "session reused:", data.session_reused)
        while True:
            chunk = data.recv(65536)
            if not chunk:
                break
            listing += chunk
        data.close()
    except (ssl.SSLError, OSError) as error:
        print("data connection failed:", error)
        raw_data.close()
    reply = control.reply()
    if reply[0] == "1":
        reply = control.reply()
    print(listing.decode("latin-1"), end="")
    expect(reply, ("226", "250"))
    control.command("QUIT")
    if args.expect and args.expect not in listing.decode("latin-1"):
        print("the listing lacks", args.expect)
        return 5
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Exception as error:  # a probe reports, it does not trace back
        print("probe failed:", type(error).__name__, error)
        sys.exit(2)
