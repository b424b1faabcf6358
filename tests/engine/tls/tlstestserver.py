#!/usr/bin/python3
"""TLS peer for the secure channel tests. Listens on 127.0.0.1 (port chosen by the system), prints
"PORT <n>" and serves each connection in a thread until stdin closes or the process is ended.

Modes: tls (default) runs the line commands below over TLS; drop reads a little of the handshake and
closes the socket; plain answers the handshake with an FTP-like clear line.

Commands (one line each, CRLF): ECHO <text> -> <text>; REUSED -> yes/no; BIG <n> -> n pattern
bytes; UPLOAD <n> + n bytes -> "<n> <sha256>"; BYE -> "bye", then close-notify, then in the clear
"clear", then echoes one clear line as "clear:<line>"; QUIT closes.
"""
import argparse
import hashlib
import os
import socket
import ssl
import sys
import threading


def pattern(n):
    block = bytes(i % 251 for i in range(251))
    return (block * (n // 251 + 1))[:n]


def read_line(sock, buf):
    while b"\n" not in buf[0]:
        data = sock.recv(65536)
        if not data:
            return None
        buf[0] += data
    line, _, rest = buf[0].partition(b"\n")
    buf[0] = rest
    return line.rstrip(b"\r")


def read_exact(sock, buf, n):
    while len(buf[0]) < n:
        data = sock.recv(65536)
        if not data:
            return None
        buf[0] += data
    out, buf[0] = buf[0][:n], buf[0][n:]
    return out


def serve_tls(conn, ctx, args):
    try:
        tls = ctx.wrap_socket(conn, server_side=True)
    except (ssl.SSLError, OSError):
        conn.close()
        return
    buf = [b""]
    try:
        if args.greet:
            tls.sendall(b"hello\r\n")
        while True:
            line = read_line(tls, buf)
            if line is None:
                # Close-notify from the client: answer it and say so in the clear.
                try:
                    plain = tls.unwrap()
                    plain.sendall(b"gotclose\r\n")
                    plain.close()
                except (ssl.SSLError, OSError):
                    pass
                return
            cmd, _, arg = line.partition(b" ")
            if cmd == b"ECHO":
                tls.sendall(arg + b"\r\n")
            elif cmd == b"REUSED":
                tls.sendall(b"yes\r\n" if tls.session_reused else b"no\r\n")
            elif cmd == b"BIG":
                tls.sendall(pattern(int(arg)))
            elif cmd == b"UPLOAD":
                data = read_exact(tls, buf, int(arg))
                tls.sendall(b"%d %s\r\n" % (len(data), hashlib.sha256(data).hexdigest().encode()))
            elif cmd == b"BYE":
                tls.sendall(b"bye\r\n")
                plain = tls.unwrap()
                plain.sendall(b"clear\r\n")
                pbuf = [buf[0]]
                reply = read_line(plain, pbuf)
                if reply is not None:
                    plain.sendall(b"clear:" + reply + b"\r\n")
                plain.close()
                return
            elif cmd == b"QUIT":
                tls.close()
                return
    except (ssl.SSLError, OSError):
        pass
    finally:
        try:
            tls.close()
        except OSError:
            pass


def serve(conn, ctx, args):
    if args.mode == "drop":
        try:
            conn.recv(10)
        finally:
            conn.close()
    elif args.mode == "plain":
        try:
            conn.recv(65536)
            conn.sendall(b"500 This is not TLS.\r\n" * 4)
            conn.recv(65536)
        except OSError:
            pass
        finally:
            conn.close()
    else:
        serve_tls(conn, ctx, args)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--mode", default="tls", choices=["tls", "drop", "plain"])
    p.add_argument("--max-version", default="1.3", choices=["1.2", "1.3"])
    p.add_argument("--request-client-cert", action="store_true")
    p.add_argument("--greet", action="store_true")
    args = p.parse_args()

    ctx = None
    if args.mode == "tls":
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(args.cert, args.key)
        if args.max_version == "1.2":
            ctx.maximum_version = ssl.TLSVersion.TLSv1_2
        if args.request_client_cert:
            ctx.verify_mode = ssl.CERT_OPTIONAL
            ctx.load_verify_locations(args.cert)

    srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("127.0.0.1", 0))
    srv.listen(16)
    print("PORT %d" % srv.getsockname()[1], flush=True)

    # Ends with the test: when stdin closes or the process is terminated.
    def watch_stdin():
        sys.stdin.read()
        os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    while True:
        try:
            conn, _ = srv.accept()
        except OSError:
            return
        threading.Thread(target=serve, args=(conn, ctx, args), daemon=True).start()


if __name__ == "__main__":
    main()
