#!/usr/bin/python3
"""pyftpdlib server started by the FtpServer test fixture.

Serves one user (and optionally anonymous) from one folder on 127.0.0.1 or ::1, plain,
with explicit TLS (AUTH TLS) or with implicit TLS (TLS from the first byte).
Logs every command and reply to stderr, which the fixture keeps in its scratch folder.
"""

import argparse
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def parse_args():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--anonymous", action="store_true")
    parser.add_argument("--passive-ports", required=True, help="LOW-HIGH")
    parser.add_argument("--tls", choices=["none", "explicit", "implicit"], default="none")
    parser.add_argument("--require-tls", action="store_true")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--no-mlst", action="store_true", help="leave MLST and MLSD out (and out of FEAT)")
    return parser.parse_args()


def handler_class(args):
    if args.tls == "none":
        return FTPHandler

    from pyftpdlib.handlers import TLS_FTPHandler

    class ExplicitHandler(TLS_FTPHandler):
        certfile = args.cert
        keyfile = args.key
        tls_control_required = args.require_tls
        tls_data_required = args.require_tls

    if args.tls == "explicit":
        return ExplicitHandler

    class ImplicitHandler(ExplicitHandler):
        # TLS starts before the greeting. Data connections are protected without PBSZ/PROT,
        # as clients of implicit FTPS expect.
        def handle(self):
            self.secure_connection(self.ssl_context)
            self._pbsz = True
            self._prot = True
            super().handle()

        def ftp_AUTH(self, line):
            self.respond("503 Already using TLS.")

    return ImplicitHandler


def main():
    args = parse_args()
    # DEBUG shows every command and reply; pyftpdlib's own "[debug] call: ..." traces are left out.
    logging.basicConfig(stream=sys.stderr, level=logging.DEBUG,
                        format="%(asctime)s %(levelname)s %(message)s")
    for handler in logging.getLogger().handlers:
        handler.addFilter(lambda record: not str(record.msg).startswith("[debug]"))

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    if args.anonymous:
        authorizer.add_anonymous(args.root)

    handler = handler_class(args)
    if args.no_mlst:
        handler = type("NoMlstHandler", (handler,), {})
        handler.proto_cmds = {k: v for k, v in handler.proto_cmds.items() if k not in ("MLST", "MLSD")}
    handler.authorizer = authorizer
    handler.banner = "Skyhaul test pyftpdlib ready."
    low, high = (int(p) for p in args.passive_ports.split("-"))
    handler.passive_ports = range(low, high + 1)
    if ":" not in args.address:
        handler.masquerade_address = args.address
    # Active mode connects back to the client's unprivileged port on the same host.
    handler.permit_foreign_addresses = False
    # A failed logon answers at once; tests of wrong passwords need not wait.
    handler.auth_failed_timeout = 0
    handler.use_sendfile = False

    server = FTPServer((args.address, args.port), handler)
    server.max_cons = 64
    sys.stderr.flush()
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
