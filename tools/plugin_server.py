#!/usr/bin/env python3
"""Loopback stand-in for the plugin server, for the installer's tests and benchmarks.

Serves the files below --root over HTTP on one address of 127.0.0.0/8 (any other address is
refused), one connection per thread, and can misbehave on purpose, chosen per path.

Start-up: prints the single line "ready" on stdout once it listens, so a test waits for that
line instead of sleeping. It ends by itself after --lifetime seconds (default 300), or on
SIGTERM / SIGINT. Exit codes: 0 normal end, 2 bad arguments or non-loopback address,
3 address already in use, 1 any other start-up failure.

File lookup: the request target's path, percent-decoded, relative to --root; the query string
("?..." part) is ignored for the lookup but logged. Paths that leave --root are answered 404.

Choosing a mode for a path, two ways:
  * prefix: GET /_mode/<mode>/<path> serves <path> in <mode>, e.g. /_mode/short/a.zip
  * --rules FILE: a JSON object mapping a request path (without query) to a mode, or to an
    object {"mode": <mode>, "file": <path under root>} that also names the file to serve, e.g.
      {"/plugins.php": {"mode": "status-302", "file": "redirect.html"},
       "/files/a.zip": "stall"}
    The file is read again for every request, so a test may rewrite it while the server runs.
  The prefix wins over a rule. Without either, the mode is "normal".

Modes (<arg> is a number where shown):
  normal        200 with Content-Length, the file as body, then close (large files go out
                through sendfile, so the server is not the bottleneck)
  http11        as normal, status line "HTTP/1.1 200 OK"
  status-<N>    status N (e.g. 302, 303, 404, 500) with the file, or a small HTML text when
                there is no such file, as body; 301-303 and 307 also carry "Location: /"
  nolength      200 without Content-Length
  nohttp        the body alone, no status line and no head, then close
  raw           the file's bytes are the whole reply (head included), then close
  short         head announces the full size, only the first half of the body is sent, close
  split-head    the head in 8-byte writes 20 ms apart, then the body in one write
  split-body    the head in one write, then the body in 256-byte writes 5 ms apart
  pause-<ms>    head and first half of the body, a pause of <ms> milliseconds, the rest, close
  linger-<ms>   the whole reply, then the connection stays open <ms> milliseconds before close
  stall         head and first half of the body, then silence (the connection stays open)
  reset         head and first half of the body, then the connection is reset (RST)
  silent        accepts and reads the request, never answers, keeps the connection open
  close         reads the request and closes without answering
  noblank       a status line followed by more than 4096 bytes of header lines and no blank
                line, then silence

A connection left open by silent/stall/noblank is closed when the client closes it or when
the server's lifetime ends.

HTTPS (--tls-certs DIR): the server also answers over TLS on the same address, with the same
files and modes, on one port per kind of certificate it makes into DIR/<address>/ (once per
address; the files are kept for the next start):
  443   good         issued for the address by the test authority (ca.pem and ca.der there)
  4431  wrong-host   issued by that authority for another address and for "other.invalid"
  4432  expired      issued by that authority, valid until yesterday
  4433  self-signed  issued for the address by itself
  4434  unknown-ca   issued for the address by an authority nobody trusts
The test authority is trusted nowhere unless a test trusts it (a Wine prefix's root store, or
the native tests' root file); the server itself trusts nothing. All these ports share one
server-side session cache and ticket key, as the sites of one front end often do: a client that
offers a session to another port than the one it came from is resumed there. A rule (or mode)
"status-<N>" takes the redirect target from the rule's "location" key when it has one, e.g.
  {"/a.zip": {"mode": "status-301", "location": "https://127.0.0.5/files/a.zip"}}

Request log (--request-log FILE): one JSON object per request, one line each, appended and
flushed before the reply starts, so a client that got its answer can read its request there:
  {"time": <unix seconds>, "client": "127.0.0.1:40000", "server": "127.0.0.2:80",
   "target": "/x?a=1", "path": "/x", "query": "a=1", "mode": "normal", "file": "x",
   "raw_hex": "474554...", "raw": "GET /x?a=1 HTTP/1.0\\r\\n...", "resumed": false}
"raw_hex" holds the exact bytes received (up to and including the blank line that ends the
request head, plus anything that arrived with it), two lower-case hex digits per byte; "raw"
is the same bytes decoded as ISO-8859-1 (one character per byte), for reading by eye; "resumed"
tells whether the connection's TLS session was resumed (false over plain HTTP).
"""

import argparse
import errno
import http
import ipaddress
import json
import os
import signal
import socket
import ssl
import socketserver
import struct
import subprocess
import sys
import threading
import time
import urllib.parse

LOOPBACK = ipaddress.ip_network("127.0.0.0/8")
REQUEST_LIMIT = 65536
REQUEST_TIMEOUT = 10.0
HOLD_POLL = 0.25

stopping = threading.Event()
log_lock = threading.Lock()


def reason(code):
    try:
        return http.HTTPStatus(code).phrase
    except ValueError:
        return "Status"


def head_bytes(code, headers, version="HTTP/1.0"):
    lines = ["%s %d %s" % (version, code, reason(code))]
    lines += ["%s: %s" % item for item in headers]
    return ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1")


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        if isinstance(sock, ssl.SSLSocket):
            sock.settimeout(REQUEST_TIMEOUT)
            try:
                sock.do_handshake()
            except (ssl.SSLError, OSError):  # the client refused the certificate, or left
                return
            sock.settimeout(None)
        raw = self.read_request(sock)
        if raw is None:
            return
        target = self.parse_target(raw)
        split = urllib.parse.urlsplit(target)
        path, query = split.path, split.query
        mode, file_rel = self.choose(path)
        file_path = self.resolve(file_rel)
        self.log(raw, target, path, query, mode, file_rel)
        try:
            self.answer(sock, mode, file_path, self.location(path))
        except (BrokenPipeError, ConnectionResetError, ConnectionAbortedError):
            pass

    # -- request ---------------------------------------------------------------------------
    def read_request(self, sock):
        sock.settimeout(REQUEST_TIMEOUT)
        data = b""
        try:
            while b"\r\n\r\n" not in data and len(data) < REQUEST_LIMIT:
                chunk = sock.recv(4096)
                if not chunk:
                    break
                data += chunk
        except (socket.timeout, OSError):
            pass
        sock.settimeout(None)
        return data if data else None

    @staticmethod
    def parse_target(raw):
        first = raw.split(b"\r\n", 1)[0].decode("latin-1")
        parts = first.split(" ")
        return parts[1] if len(parts) >= 2 else "/"

    def choose(self, path):
        if path.startswith("/_mode/"):
            rest = path[len("/_mode/"):]
            mode, _, file_rel = rest.partition("/")
            return mode, file_rel
        rule = self.server.rules().get(path)
        if isinstance(rule, str):
            return rule, path
        if isinstance(rule, dict):
            return rule.get("mode", "normal"), rule.get("file", path)
        return "normal", path

    def location(self, path):
        rule = self.server.rules().get(path)
        return rule.get("location", "/") if isinstance(rule, dict) else "/"

    def resolve(self, file_rel):
        root = self.server.root
        name = urllib.parse.unquote(file_rel).lstrip("/")
        candidate = os.path.realpath(os.path.join(root, name))
        if not candidate.startswith(root + os.sep) or not os.path.isfile(candidate):
            return None
        return candidate

    def log(self, raw, target, path, query, mode, file_rel):
        if not self.server.request_log:
            return
        client = "%s:%d" % self.client_address
        server = "%s:%d" % self.server.server_address[:2]
        entry = {"time": time.time(), "client": client, "server": server, "target": target,
                 "path": path, "query": query, "mode": mode, "file": file_rel,
                 "raw_hex": raw.hex(), "raw": raw.decode("latin-1"),
                 "resumed": isinstance(self.request, ssl.SSLSocket) and self.request.session_reused}
        line = json.dumps(entry) + "\n"
        with log_lock:
            with open(self.server.request_log, "a", encoding="ascii") as out:
                out.write(line)
                out.flush()

    # -- replies ---------------------------------------------------------------------------
    def answer(self, sock, mode, file_path, location="/"):
        name, _, arg = mode.partition("-")
        number = int(arg) if arg.isdigit() else None

        if name == "silent":
            return self.hold(sock)
        if name == "close":
            return
        if name == "noblank":
            lines = [b"HTTP/1.0 200 OK"] + [b"X-Filler-%04d: %s" % (i, b"x" * 40)
                                            for i in range(100)]
            sock.sendall(b"\r\n".join(lines) + b"\r\n")
            return self.hold(sock)
        if name == "status" and number is not None:
            body = read_file(file_path)
            if body is None:
                body = ("<html><body>%d %s</body></html>" % (number, reason(number))).encode()
            headers = [("Content-Type", "text/html"), ("Content-Length", str(len(body)))]
            if number in (301, 302, 303, 307, 308):
                headers.append(("Location", location))
            sock.sendall(head_bytes(number, headers) + body)
            return self.finish_reply(sock)

        if file_path is None:
            body = b"<html><body>404 Not Found</body></html>"
            sock.sendall(head_bytes(404, [("Content-Type", "text/html"),
                                          ("Content-Length", str(len(body)))]) + body)
            return self.finish_reply(sock)

        size = os.path.getsize(file_path)
        full = [("Content-Type", "application/octet-stream"), ("Content-Length", str(size)),
                ("Connection", "close")]
        if name == "normal" or name == "http11":
            version = "HTTP/1.1" if name == "http11" else "HTTP/1.0"
            sock.sendall(head_bytes(200, full, version))
            with open(file_path, "rb") as source:
                if size:
                    sock.sendfile(source)
            return self.finish_reply(sock)

        body = read_file(file_path)
        half = len(body) // 2
        if name == "raw":
            sock.sendall(body)
        elif name == "nohttp":
            sock.sendall(body)
        elif name == "nolength":
            sock.sendall(head_bytes(200, [("Content-Type", "application/octet-stream")]) + body)
        elif name == "short":
            sock.sendall(head_bytes(200, full) + body[:half])
        elif name == "split" and arg == "head":
            head = head_bytes(200, full)
            for i in range(0, len(head), 8):
                sock.sendall(head[i:i + 8])
                time.sleep(0.02)
            sock.sendall(body)
        elif name == "split" and arg == "body":
            sock.sendall(head_bytes(200, full))
            for i in range(0, len(body), 256):
                time.sleep(0.005)
                sock.sendall(body[i:i + 256])
        elif name == "pause" and number is not None:
            sock.sendall(head_bytes(200, full) + body[:half])
            if stopping.wait(number / 1000.0):
                return
            sock.sendall(body[half:])
        elif name == "linger" and number is not None:
            sock.sendall(head_bytes(200, full) + body)
            return self.hold(sock, number / 1000.0)
        elif name == "stall":
            sock.sendall(head_bytes(200, full) + body[:half])
            return self.hold(sock)
        elif name == "reset":
            sock.sendall(head_bytes(200, full) + body[:half])
            time.sleep(0.3)
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            sock.close()
            return
        else:
            msg = ("<html><body>unknown mode %s</body></html>" % mode).encode()
            sock.sendall(head_bytes(500, [("Content-Length", str(len(msg)))]) + msg)
        return self.finish_reply(sock)

    @staticmethod
    def finish_reply(sock):
        if isinstance(sock, ssl.SSLSocket):
            # TLS's own close first, so that the client can tell the end from a cut.
            try:
                sock.settimeout(HOLD_POLL * 8)
                sock = sock.unwrap()
            except (ssl.SSLError, OSError, ValueError):
                pass
        try:
            sock.shutdown(socket.SHUT_WR)
        except OSError:
            pass

    @staticmethod
    def hold(sock, seconds=None):
        """Keeps the connection open without sending, until the client closes it, the given
        time is over, or the server stops."""
        deadline = None if seconds is None else time.monotonic() + seconds
        sock.settimeout(HOLD_POLL)
        while not stopping.is_set():
            if deadline is not None and time.monotonic() >= deadline:
                break
            try:
                if not sock.recv(4096):
                    break
            except socket.timeout:
                continue
            except OSError:
                break
        Handler.finish_reply(sock)


def read_file(file_path):
    if file_path is None:
        return None
    with open(file_path, "rb") as source:
        return source.read()


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, address, root, request_log, rules_file, tls=None):
        self.root = os.path.realpath(root)
        self.request_log = request_log
        self.rules_file = rules_file
        self.tls = tls
        super().__init__(address, Handler)

    def get_request(self):
        sock, client = self.socket.accept()
        if self.tls is None:
            return sock, client
        # The handshake runs on the connection's own thread, so a client that refuses the
        # certificate never holds up the others.
        shared, own = self.tls
        wrapped = shared.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        wrapped.port_context = own
        return wrapped, client

    def rules(self):
        if not self.rules_file:
            return {}
        try:
            with open(self.rules_file, encoding="utf-8") as source:
                rules = json.load(source)
            return rules if isinstance(rules, dict) else {}
        except (OSError, ValueError):
            return {}


TLS_PORTS = {"good": 443, "wrong-host": 4431, "expired": 4432, "self-signed": 4433,
             "unknown-ca": 4434}


def make_certificates(folder, address):
    """The test authority, a second one nobody trusts and a certificate of every kind of
    TLS_PORTS, as PEM files in `folder` (ca.pem, ca.der, <kind>.pem holding key and chain)."""
    import datetime
    from cryptography import x509
    from cryptography.hazmat.primitives import hashes, serialization
    from cryptography.hazmat.primitives.asymmetric import rsa
    from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

    os.makedirs(folder, exist_ok=True)
    now = datetime.datetime.now(datetime.timezone.utc)
    day = datetime.timedelta(days=1)

    def key():
        return rsa.generate_private_key(public_exponent=65537, key_size=2048)

    def name(text):
        return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, text)])

    def issue(subject, public, issuer, signer, ca, sans=(), start=now - day, end=now + 30 * day):
        builder = (x509.CertificateBuilder().subject_name(name(subject)).issuer_name(name(issuer))
                   .public_key(public).serial_number(x509.random_serial_number())
                   .not_valid_before(start).not_valid_after(end)
                   .add_extension(x509.BasicConstraints(ca=ca, path_length=None), critical=True))
        if ca:
            builder = builder.add_extension(x509.KeyUsage(
                digital_signature=True, key_cert_sign=True, crl_sign=True, content_commitment=False,
                key_encipherment=False, data_encipherment=False, key_agreement=False,
                encipher_only=False, decipher_only=False), critical=True)
        else:
            builder = builder.add_extension(
                x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]), critical=False)
            builder = builder.add_extension(x509.SubjectAlternativeName(list(sans)), critical=False)
        return builder.sign(signer, hashes.SHA256())

    def ip(text):
        return x509.IPAddress(ipaddress.ip_address(text))

    ca_key, other_key, leaf_key = key(), key(), key()
    ca = issue("QVK test authority", ca_key.public_key(), "QVK test authority", ca_key, True)
    other = issue("QVK unknown authority", other_key.public_key(), "QVK unknown authority",
                  other_key, True)
    own = [ip(address)]
    elsewhere = "127.0.0.254" if address != "127.0.0.254" else "127.0.0.253"
    public = leaf_key.public_key()
    leaves = {
        "good": [issue(address, public, "QVK test authority", ca_key, False, own), ca],
        "wrong-host": [issue("other.invalid", public, "QVK test authority", ca_key, False,
                             [x509.DNSName("other.invalid"), ip(elsewhere)]), ca],
        "expired": [issue(address, public, "QVK test authority", ca_key, False, own,
                          now - 60 * day, now - day), ca],
        "self-signed": [issue(address, public, address, leaf_key, False, own)],
        "unknown-ca": [issue(address, public, "QVK unknown authority", other_key, False, own),
                       other],
    }
    pem = serialization.Encoding.PEM
    key_pem = leaf_key.private_bytes(pem, serialization.PrivateFormat.TraditionalOpenSSL,
                                     serialization.NoEncryption())
    for kind, chain in leaves.items():
        with open(os.path.join(folder, kind + ".pem"), "wb") as out:
            out.write(key_pem + b"".join(c.public_bytes(pem) for c in chain))
    with open(os.path.join(folder, "ca.der"), "wb") as out:
        out.write(ca.public_bytes(serialization.Encoding.DER))
    # Written last: its presence says the set is complete.
    with open(os.path.join(folder, "ca.pem"), "wb") as out:
        out.write(ca.public_bytes(pem))


def make_certificates_somewhere(folder, address):
    """make_certificates in this interpreter when it has the cryptography module, else in
    Debian's own (python3-cryptography, which tools/setup.sh installs)."""
    try:
        import cryptography  # noqa: F401
    except ImportError:
        here = os.path.dirname(os.path.abspath(__file__))
        subprocess.run(["/usr/bin/python3", "-c", "import sys; sys.path.insert(0, sys.argv[1]); "
                        "import plugin_server; plugin_server.make_certificates(*sys.argv[2:])",
                        here, folder, address], check=True, timeout=120)
        return
    make_certificates(folder, address)


def tls_context(certificate_file):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(certificate_file)
    # The client's order of ciphers decides, as with nginx's default (Python's is the server's).
    context.options &= ~ssl.OP_CIPHER_SERVER_PREFERENCE
    return context


def shared_tls_contexts(certificate_files):
    """One context per certificate file, all answering through the first one's sessions and
    ticket key: each connection starts there and is handed its port's certificate once its
    hello is read."""
    contexts = [tls_context(f) for f in certificate_files]

    def own_certificate(sock, _server_name, _context):
        sock.context = sock.port_context
    contexts[0].sni_callback = own_certificate
    return contexts


def main():
    parser = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--address", default="127.0.0.1",
                        help="IPv4 address of 127.0.0.0/8 to listen on (default 127.0.0.1)")
    parser.add_argument("--port", type=int, default=80, help="TCP port (default 80)")
    parser.add_argument("--root", default=".", help="folder whose files are served (default .)")
    parser.add_argument("--request-log", metavar="FILE",
                        help="append one JSON line per request with its exact bytes")
    parser.add_argument("--rules", metavar="FILE", help="JSON object mapping paths to modes")
    parser.add_argument("--tls-certs", metavar="DIR",
                        help="also serve over TLS, one port per certificate kind made into DIR")
    parser.add_argument("--lifetime", type=float, default=300.0, metavar="SECONDS",
                        help="exit by itself after this many seconds (default 300)")
    args = parser.parse_args()

    try:
        if ipaddress.ip_address(args.address) not in LOOPBACK:
            raise ValueError
    except ValueError:
        print("plugin_server: refusing %r: only addresses of 127.0.0.0/8 are served"
              % args.address, file=sys.stderr)
        return 2
    if not os.path.isdir(args.root):
        print("plugin_server: no such folder: %s" % args.root, file=sys.stderr)
        return 2
    if args.lifetime <= 0:
        print("plugin_server: --lifetime must be positive", file=sys.stderr)
        return 2

    listeners = [(args.port, None)]
    if args.tls_certs:
        certificates = os.path.join(args.tls_certs, args.address)
        if not os.path.exists(os.path.join(certificates, "ca.pem")):
            make_certificates_somewhere(certificates, args.address)
        contexts = shared_tls_contexts([os.path.join(certificates, kind + ".pem")
                                        for kind in TLS_PORTS])
        listeners += [(port, (contexts[0], own))
                      for port, own in zip(TLS_PORTS.values(), contexts)]
    servers = []
    for port, tls in listeners:
        try:
            servers.append(Server((args.address, port), args.root, args.request_log, args.rules,
                                  tls))
        except OSError as error:
            print("plugin_server: cannot listen on %s:%d: %s" % (args.address, port, error),
                  file=sys.stderr)
            for server in servers:
                server.server_close()
            return 3 if error.errno == errno.EADDRINUSE else 1

    signal.signal(signal.SIGTERM, lambda *_: stopping.set())
    signal.signal(signal.SIGINT, lambda *_: stopping.set())
    for server in servers:
        threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1},
                         daemon=True).start()
    print("ready", flush=True)
    stopping.wait(args.lifetime)
    stopping.set()
    for server in servers:
        server.shutdown()
        server.server_close()
    sys.stdout.flush()
    os._exit(0)


if __name__ == "__main__":
    sys.exit(main())
