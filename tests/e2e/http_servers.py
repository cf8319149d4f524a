#!/usr/bin/env python3
"""Status servers for the end-to-end suite and the demo, on loopback port 80.

* A file server on --addr (default 127.0.0.1): a GET for http://HOST/PATH
  answers with ROOT/HOST/PATH, chosen by the Host header, so one server stands
  for the status-index host and the status host. A file ROOT/HOST/.delay
  holding seconds makes every answer for that host wait that long (a slow
  index server); it is read per request, so a test can change it on the fly.
  Every request is appended to ROOT/requests.log as "<unix time> HOST PATH".
* A silent server on --silent (default 127.0.0.2): accepts connections and
  never answers or closes them. Every accepted connection is appended to
  ROOT/silent.log.

* A hostile server on --hostile (default 127.0.0.4) that misbehaves by path:
  /drip sends an answer one byte a second and never closes; /huge sends a
  200 MB body; /nohead sends lines with no header and no empty line; /reset
  sends the headers and a little of the body, then resets the connection;
  /garbage sends binary garbage; /index behaves as ROOT/hostile.mode says,
  read per request: "good" answers with a status index that names
  status.test.aero, "headers" sends header lines without end, "silent" never
  answers, "trickle" sends the header and then a body byte every half
  second for a minute, "reset" as its path. Every request is appended to
  ROOT/hostile.log as "<unix time> PATH". With --tls-dir the same over HTTPS
  on port 443 (certificate as the HTTPS file server's); in "silent" mode it
  accepts and never even answers the TLS handshake.

* With --tls-dir, an HTTPS file server on --addr port 443 that serves ROOT
  like the file server. It presents DIR/trusted.pem (key DIR/trusted.key),
  or DIR/untrusted.pem when the file ROOT/.tls holds "untrusted"; the file is
  read per connection. Every handshake is appended to ROOT/tls.log as
  "<unix time> <certificate> ok" or "<unix time> <certificate> failed:
  <reason>". A client that rejects the certificate after a completed
  handshake (as WinINet does) shows as "ok" with no request in agents.log.

* With --proxy ADDR, an HTTP proxy on ADDR port 3128, for a user's proxy
  settings: CONNECT HOST:PORT tunnels to HOST (as the hosts file resolves
  it), a request for an absolute http:// URL is passed on to its host. Every
  request is appended to ROOT/proxy.log as "<unix time> METHOD TARGET".

Both file servers compress an answer with gzip when the request accepts it
(never for a host whose folder holds a file .plain, read per request),
and append every request to ROOT/agents.log as
"<unix time> SCHEME HOST PATH<TAB>User-Agent<TAB>Accept-Encoding<TAB>sent
encoding<TAB>Pragma<TAB>Cache-Control" (empty fields as "-").

All listen before the file named by --ready is written.
"""
import argparse
import gzip
import os
import random
import socket
import ssl
import struct
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--addr", default="127.0.0.1")
    ap.add_argument("--silent", default="127.0.0.2")
    ap.add_argument("--hostile", default="127.0.0.4")
    ap.add_argument("--port", type=int, default=80)
    ap.add_argument("--tls-dir")
    ap.add_argument("--proxy")
    ap.add_argument("--ready")
    args = ap.parse_args()
    root = os.path.abspath(args.root)
    log_lock = threading.Lock()

    def append(name, line):
        with log_lock, open(os.path.join(root, name), "a") as f:
            f.write(line + "\n")

    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.0"

        def do_GET(self):
            host = (self.headers.get("Host") or "").split(":")[0].strip().lower()
            path = self.path.split("?")[0]
            append("requests.log", f"{time.time():.3f} {host} {path}")
            try:
                with open(os.path.join(root, host, ".delay")) as f:
                    delay = float(f.read().strip() or 0)
            except (OSError, ValueError):
                delay = 0.0
            end = time.monotonic() + delay
            while time.monotonic() < end:
                time.sleep(0.05)
            file = os.path.normpath(os.path.join(root, host, path.lstrip("/")))
            body, status = b"not found\r\n", 404
            if file.startswith(os.path.join(root, host) + os.sep) and os.path.isfile(file):
                with open(file, "rb") as f:
                    body, status = f.read(), 200
            scheme = "https" if isinstance(self.connection, ssl.SSLSocket) else "http"
            agent = self.headers.get("User-Agent") or "-"
            accepted = self.headers.get("Accept-Encoding") or "-"
            sent = "-"
            plain = os.path.isfile(os.path.join(root, host, ".plain"))
            if not plain and "gzip" in [e.split(";")[0].strip().lower()
                                        for e in accepted.split(",")]:
                body, sent = gzip.compress(body, compresslevel=5), "gzip"
            pragma = self.headers.get("Pragma") or "-"
            control = self.headers.get("Cache-Control") or "-"
            append("agents.log", f"{time.time():.3f} {scheme} {host} {path}\t{agent}\t{accepted}"
                   f"\t{sent}\t{pragma}\t{control}")
            try:
                self.send_response(status)
                self.send_header("Content-Type", "text/plain")
                if sent != "-":
                    self.send_header("Content-Encoding", sent)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)
            except OSError:
                pass  # the client gave up (a program closed mid-download)

        def log_message(self, fmt, *a):
            pass

    class Server(ThreadingHTTPServer):
        daemon_threads = True
        allow_reuse_address = True

        def handle_error(self, request, client_address):
            pass

    server = Server((args.addr, args.port), Handler)

    if args.tls_dir:
        contexts = {}
        for name in ("trusted", "untrusted"):
            ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            ctx.load_cert_chain(os.path.join(args.tls_dir, name + ".pem"),
                                os.path.join(args.tls_dir, name + ".key"))
            contexts[name] = ctx

        class TlsServer(Server):
            def get_request(self):
                conn, peer = self.socket.accept()
                try:
                    with open(os.path.join(root, ".tls")) as f:
                        which = f.read().strip() or "trusted"
                except OSError:
                    which = "trusted"
                if which not in contexts:
                    which = "trusted"
                # The handshake runs in the request's own thread.
                tls_conn = contexts[which].wrap_socket(
                    conn, server_side=True, do_handshake_on_connect=False)
                tls_conn.certificate = which
                return tls_conn, peer

        class TlsHandler(Handler):
            def setup(self):
                which = getattr(self.request, "certificate", "?")
                try:
                    self.request.settimeout(30)
                    self.request.do_handshake()
                except (OSError, ssl.SSLError) as e:
                    reason = getattr(e, "reason", None) or e
                    append("tls.log", f"{time.time():.3f} {which} failed: {reason}")
                    raise
                append("tls.log", f"{time.time():.3f} {which} ok")
                super().setup()

        tls = TlsServer((args.addr, 443), TlsHandler)
        threading.Thread(target=tls.serve_forever, daemon=True).start()

    silent = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    silent.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    silent.bind((args.silent, args.port))
    silent.listen(64)
    held = []

    def hold():
        while True:
            conn, peer = silent.accept()
            held.append(conn)  # kept open, never read, never answered
            append("silent.log", f"{time.time():.3f} {peer[0]}:{peer[1]}")

    threading.Thread(target=hold, daemon=True).start()

    hostile = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    hostile.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    hostile.bind((args.hostile, args.port))
    hostile.listen(64)

    def hostile_mode():
        try:
            with open(os.path.join(root, "hostile.mode")) as f:
                return f.read().strip() or "good"
        except OSError:
            return "good"

    def hold(conn):
        # Never answers; the client ends the connection, or the test does.
        try:
            while conn.recv(4096):
                pass
        except OSError:
            pass

    def misbehave(conn):
        try:
            request = b""
            while b"\r\n\r\n" not in request and len(request) < 65536:
                chunk = conn.recv(4096)
                if not chunk:
                    return
                request += chunk
            line = request.split(b"\r\n", 1)[0].decode("latin-1").split(" ")
            path = line[1] if len(line) > 1 else ""
            append("hostile.log", f"{time.time():.3f} {path}")
            head = b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n"
            if path == "/index":
                path = "/" + hostile_mode()
                if path == "/good":
                    body = b"!GENERAL\r\nurl0=http://status.test.aero/whazzup.txt\r\n"
                    conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n"
                                 b"Content-Length: %d\r\n\r\n" % len(body) + body)
                elif path == "/headers":
                    conn.sendall(b"HTTP/1.0 200 OK\r\n")
                    filler = b"".join(b"X-Filler-%06d: %s\r\n" % (i, b"x" * 1000)
                                      for i in range(64))
                    while True:
                        conn.sendall(filler)
                elif path == "/silent":
                    hold(conn)
                    return
                elif path == "/trickle":
                    conn.sendall(head)
                    for _ in range(120):
                        conn.sendall(b"!")
                        time.sleep(0.5)
            if path == "/drip":
                for i in range(120):
                    conn.sendall((head + b"!GENERAL\r\n")[i % 40 : i % 40 + 1])
                    time.sleep(1)
            elif path == "/huge":
                line = b"DLH4CK:200001:Paul Berger:PILOT::52.36:13.50:3200:250:A320:::::\r\n"
                block = line * ((1 << 20) // len(line))
                conn.sendall(head)
                sent = 0
                while sent < 200 * 1000 * 1000:
                    conn.sendall(block)
                    sent += len(block)
            elif path == "/nohead":
                conn.sendall(b"EDDT_TWR:1:Anna:ATC:118.700:0:0\r\nno header here\r\n" * 100)
            elif path == "/reset":
                conn.sendall(head + b"!GENERAL\r\nVERSION = 1\r\n")
                time.sleep(0.2)
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            elif path == "/garbage":
                conn.sendall(random.Random(7).randbytes(100000))
        except OSError:
            pass  # the client gave up, as it should
        finally:
            conn.close()

    def serve_hostile():
        while True:
            conn, _ = hostile.accept()
            threading.Thread(target=misbehave, args=(conn,), daemon=True).start()

    threading.Thread(target=serve_hostile, daemon=True).start()

    if args.tls_dir:
        hostile_tls = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        hostile_tls.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        hostile_tls.bind((args.hostile, 443))
        hostile_tls.listen(64)

        def misbehave_tls(conn):
            if hostile_mode() == "silent":
                append("hostile.log", f"{time.time():.3f} tls silent")
                hold(conn)
                conn.close()
                return
            try:
                conn.settimeout(30)
                tls_conn = contexts["trusted"].wrap_socket(conn, server_side=True)
                tls_conn.settimeout(None)
            except (OSError, ssl.SSLError):
                conn.close()
                return
            misbehave(tls_conn)

        def serve_hostile_tls():
            while True:
                conn, _ = hostile_tls.accept()
                threading.Thread(target=misbehave_tls, args=(conn,), daemon=True).start()

        threading.Thread(target=serve_hostile_tls, daemon=True).start()
    if args.proxy:
        proxy = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        proxy.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        proxy.bind((args.proxy, 3128))
        proxy.listen(64)

        def pipe(src, dst):
            try:
                while True:
                    data = src.recv(65536)
                    if not data:
                        break
                    dst.sendall(data)
            except OSError:
                pass
            finally:
                for s in (src, dst):
                    try:
                        s.shutdown(socket.SHUT_RDWR)
                    except OSError:
                        pass

        def relay(conn):
            upstream = None
            try:
                head = b""
                while b"\r\n\r\n" not in head and len(head) < 65536:
                    chunk = conn.recv(4096)
                    if not chunk:
                        return
                    head += chunk
                head, rest = head.split(b"\r\n\r\n", 1)
                lines = head.decode("latin-1").split("\r\n")
                method, target, version = (lines[0].split(" ") + ["", ""])[:3]
                append("proxy.log", f"{time.time():.3f} {method} {target}")
                if method == "CONNECT":
                    host, _, port = target.rpartition(":")
                    upstream = socket.create_connection((host, int(port)), timeout=10)
                    upstream.settimeout(None)
                    conn.sendall(b"HTTP/1.0 200 Connection established\r\n\r\n")
                    if rest:
                        upstream.sendall(rest)
                else:
                    if not target.startswith("http://"):
                        conn.sendall(b"HTTP/1.0 400 Bad Request\r\nContent-Length: 0\r\n\r\n")
                        return
                    hostport, _, path = target[len("http://"):].partition("/")
                    host, _, port = hostport.partition(":")
                    upstream = socket.create_connection((host, int(port or 80)), timeout=10)
                    upstream.settimeout(None)
                    kept = [l for l in lines[1:] if not l.lower().startswith("proxy-")]
                    out = "\r\n".join([f"{method} /{path} {version}"] + kept) + "\r\n\r\n"
                    upstream.sendall(out.encode("latin-1") + rest)
                back = threading.Thread(target=pipe, args=(upstream, conn), daemon=True)
                back.start()
                pipe(conn, upstream)
                back.join()
            except OSError:
                pass
            finally:
                conn.close()
                if upstream:
                    upstream.close()

        def serve_proxy():
            while True:
                conn, _ = proxy.accept()
                threading.Thread(target=relay, args=(conn,), daemon=True).start()

        threading.Thread(target=serve_proxy, daemon=True).start()

    if args.ready:
        with open(args.ready, "w") as f:
            f.write("ready\n")
    server.serve_forever()


if __name__ == "__main__":
    main()
