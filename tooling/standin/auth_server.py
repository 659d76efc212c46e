"""HTTPS stand-in for the sign-in API under /auth/v1 on 127.0.0.1.

Usage: auth_server.py --tools-folder DIR --port N [--write-config] [--read-timeout SECONDS]
Prints one JSON line {"port": …, "ca": …} once listening, then serves until SIGTERM.
"""
import errno
import hashlib
import json
import signal
import socket
import ssl
import sys
import threading
import time
from datetime import datetime, timezone
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path
from urllib.parse import parse_qs, parse_qsl, urlencode, urlsplit

if __package__ in (None, ""):
    sys.path.insert(0, str(Path(__file__).resolve().parent.parent))
    __package__ = "standin"

from standin import accounts, config, db, seed, tls  # noqa: E402
from standin.paths import ToolsFolder, append_jsonl, private_umask  # noqa: E402

MAX_BODY = 65536
MAX_DELAY = 120
READ_TIMEOUT = 30
# Members of a logged body, and query parameters, whose values never reach the log.
SECRET_KEYS = {"password", "refresh_token", "access_token", "token", "code", "token_hash", "nonce"}
MASK = "***"


def masked(value):
    if isinstance(value, dict):
        return {k: MASK if k.lower() in SECRET_KEYS else masked(v) for k, v in value.items()}
    if isinstance(value, list):
        return [masked(v) for v in value]
    return value


def logged_body(body: bytes) -> str:
    """The body as the log keeps it: JSON with its secrets masked; anything else only by size."""
    try:
        return json.dumps(masked(json.loads(body.decode("utf-8"))), ensure_ascii=False) if body else ""
    except (ValueError, RecursionError):
        return "<%d bytes, not JSON>" % len(body)


def logged_path(path: str) -> str:
    split = urlsplit(path)
    if not split.query:
        return path
    pairs = [(k, MASK if k.lower() in SECRET_KEYS else v) for k, v in parse_qsl(split.query, keep_blank_values=True)]
    return split.path + "?" + urlencode(pairs, safe="*")


def logged_headers(headers) -> dict:
    kept = {}
    for name, value in headers.items():
        lower = name.lower()
        if lower in ("authorization", "cookie"):
            scheme = value.split(" ", 1)[0] if " " in value else ""
            value = (scheme + " " + MASK).strip()
        kept[lower] = value
    return kept


class Scenario:
    """Test hook: var/auth_scenario.json, read on every request, can override a route's answer."""

    def __init__(self, path: Path):
        self.path = path
        self.lock = threading.Lock()
        self.digest = None
        self.hits = {}

    def load(self):
        try:
            raw = self.path.read_bytes()
        except FileNotFoundError:
            return {}
        digest = hashlib.sha256(raw).hexdigest()
        with self.lock:
            if digest != self.digest:
                self.digest, self.hits = digest, {}
        try:
            data = json.loads(raw.decode("utf-8"))
        except ValueError:
            return {}
        return data if isinstance(data, dict) else {}

    def override(self, data, method, path, query):
        routes = data.get("routes") or {}
        full = path + ("?" + query if query else "")
        for key in ("%s %s" % (method, full), "%s %s" % (method, path), full, path):
            rule = routes.get(key)
            if isinstance(rule, dict):
                with self.lock:
                    count = self.hits.get(key, 0)
                    self.hits[key] = count + 1
                times = rule.get("times")
                if isinstance(times, int) and count >= times:
                    return None
                return rule
        return None


class AuthError(Exception):
    def __init__(self, status, code, message):
        super().__init__(message)
        self.status, self.code, self.message = status, code, message


class DeadlineHandler(BaseHTTPRequestHandler):
    """A handler of TLSServer: each request (line, headers, body) must be in before the server's
    deadline, however it trickles; a handler calls request_read() once it has the whole request."""

    def handle_one_request(self):
        self.server.expect_request(True)
        super().handle_one_request()

    def request_read(self):
        self.server.expect_request(False)  # answering it has no deadline of its own


class Handler(DeadlineHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TavlonStandin/1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.handle_request("GET")

    def do_POST(self):
        self.handle_request("POST")

    def do_PUT(self):
        self.handle_request("PUT")

    def do_DELETE(self):
        self.handle_request("DELETE")

    def handle_request(self, method):
        app = self.server.app
        split = urlsplit(self.path)
        length_text = (self.headers.get("Content-Length") or "0").strip()
        if not length_text.isascii() or not length_text.isdigit():
            # Unreadable framing: answer and close rather than guess where the body ends.
            self.close_connection = True
            self.send_json(400, {"code": 400, "error_code": "bad_request", "msg": "Invalid Content-Length"})
            return
        length = int(length_text)
        if length > MAX_BODY:
            self.close_connection = True
            self.send_json(413, {"code": 413, "error_code": "request_too_large", "msg": "Request too large"})
            return
        body = self.rfile.read(length) if length else b""
        self.request_read()
        append_jsonl(app.tools.auth_requests, {
            "method": method,
            "path": logged_path(self.path),
            "headers": logged_headers(self.headers),
            "body": logged_body(body),
            "at": time.time(),
        })
        scenario = app.scenario.load()
        rule = app.scenario.override(scenario, method, split.path, split.query)
        if rule is not None:
            self.answer_rule(rule)
            return
        try:
            status, answer = app.route(method, split.path, split.query, self.headers, body, scenario)
        except AuthError as error:
            status, answer = error.status, {"code": error.status, "error_code": error.code, "msg": error.message}
        self.send_json(status, answer)

    def answer_rule(self, rule):
        delay = rule.get("delay_seconds")
        if isinstance(delay, (int, float)) and delay > 0:
            time.sleep(min(float(delay), MAX_DELAY))
        status = int(rule.get("status", 200))
        if "body_size" in rule:
            size = int(rule["body_size"])
            # A JSON object padded to exactly the asked size (at least the shortest object).
            filler = max(0, size - len('{"pad":""}'))
            payload = ('{"pad":"' + "x" * filler + '"}').encode() if size >= 10 else b" " * size
        elif "json" in rule:
            payload = json.dumps(rule["json"]).encode("utf-8")
        else:
            payload = str(rule.get("body", "")).encode("utf-8")
        self.send_response(status)
        headers = rule.get("headers") or {}
        if not any(name.lower() == "content-type" for name in headers):
            self.send_header("Content-Type", "application/json")
        for name, value in headers.items():
            self.send_header(name, str(value))
        self.send_header("Content-Length", str(len(payload)))
        self.end_headers()
        if payload:
            self.wfile.write(payload)

    def send_json(self, status, answer):
        payload = b"" if answer is None else json.dumps(answer).encode("utf-8")
        self.send_response(status)
        if payload:
            self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(payload)))
        self.end_headers()
        if payload:
            self.wfile.write(payload)


class AuthService:
    def __init__(self, tools: ToolsFolder):
        self.tools = tools
        self.scenario = Scenario(tools.auth_scenario)
        self.key = config.publishable_key(tools)
        self.local = threading.local()

    def conn(self):
        if not hasattr(self.local, "conn"):
            self.local.conn = db.connect(self.tools.database)
        return self.local.conn

    def route(self, method, path, query, headers, body, scenario):
        if not path.startswith("/auth/v1/"):
            raise AuthError(404, "not_found", "Not found")
        if headers.get("apikey") != self.key:
            raise AuthError(401, "no_api_key", "No API key found in request")
        name = path[len("/auth/v1/"):]
        params = {k: v[-1] for k, v in parse_qs(query, keep_blank_values=True).items()}
        lifetime = scenario.get("access_token_lifetime", accounts.ACCESS_TOKEN_LIFETIME)
        if not isinstance(lifetime, (int, float)) or lifetime <= 0:
            lifetime = accounts.ACCESS_TOKEN_LIFETIME
        handlers = {
            ("POST", "token"): lambda: self.token(params.get("grant_type"), self.json_body(body), lifetime),
            ("GET", "user"): lambda: (200, self.current_user(headers)),
            ("PUT", "user"): lambda: (200, self.update_user(headers, self.json_body(body))),
            ("POST", "logout"): lambda: self.logout(headers, params.get("scope", "global")),
            ("POST", "recover"): lambda: self.recover(self.json_body(body)),
            ("POST", "verify"): lambda: self.verify(self.json_body(body), lifetime),
        }
        handler = handlers.get((method, name))
        if handler is None:
            raise AuthError(404 if name not in {"token", "user", "logout", "recover", "verify"} else 405,
                            "not_found", "Not found")
        return handler()

    @staticmethod
    def json_body(body):
        try:
            data = json.loads(body.decode("utf-8")) if body else None
        except (ValueError, RecursionError):  # deep nesting ends in RecursionError
            data = None
        if not isinstance(data, dict):
            raise AuthError(400, "bad_json", "Could not parse request body as JSON")
        return data

    @staticmethod
    def text(data, key):
        value = data.get(key)
        return value if isinstance(value, str) else ""

    def tokens_answer(self, pair, user_row, lifetime):
        return {
            "access_token": pair["access_token"],
            "token_type": "bearer",
            "expires_in": lifetime,
            "expires_at": int(pair["expires_at"]),
            "refresh_token": pair["refresh_token"],
            "user": accounts.user_json(user_row),
        }

    def token(self, grant, data, lifetime):
        if grant == "password":
            return self.password_grant(data, lifetime)
        if grant != "refresh_token":
            raise AuthError(400, "unsupported_grant_type", "Unsupported grant type")
        conn = self.conn()
        with db.transaction(conn):
            # Commit even on refusal: a reused token's session revocation must stick.
            pair = accounts.rotate_refresh(conn, self.text(data, "refresh_token"), lifetime)
            user = accounts.find_user(conn, pair["user_id"]) if pair else None
        if pair is None:
            raise AuthError(400, "refresh_token_not_found", "Invalid Refresh Token")
        return 200, self.tokens_answer(pair, user, lifetime)

    def password_grant(self, data, lifetime):
        conn = self.conn()
        email, password = self.text(data, "email"), self.text(data, "password")
        # Committed also on refusal: a wrong password must count against the address.
        with db.transaction(conn):
            if accounts.password_locked(conn, email):
                # Too many wrong passwords for this address: refused unchecked until the window passes.
                raise AuthError(429, "over_request_rate_limit", "Request rate limit reached")
            user = accounts.find_user_by_email(conn, email)
            accepted = user is not None and bool(password) and db.password_matches(
                password, user["password_salt"], user["password_hash"])
            accounts.record_password(conn, email, accepted)
            pair = accounts.issue_session(conn, user["id"], "password", lifetime) if accepted else None
        if pair is None:
            raise AuthError(400, "invalid_credentials", "Invalid login credentials")
        return 200, self.tokens_answer(pair, user, lifetime)

    def bearer(self, headers):
        value = headers.get("Authorization") or ""
        if not value.startswith("Bearer "):
            raise AuthError(401, "no_authorization", "This endpoint requires a Bearer token")
        row = accounts.valid_access(self.conn(), value[len("Bearer "):], kinds=("password", "recovery"))
        if row is None:
            raise AuthError(401, "bad_jwt", "Invalid or expired token")
        return row

    def current_user(self, headers):
        row = self.bearer(headers)
        return accounts.user_json(accounts.find_user(self.conn(), row["user_id"]))

    def update_user(self, headers, data):
        row = self.bearer(headers)
        conn = self.conn()
        if "password" in data:
            password = data["password"]
            if not isinstance(password, str) or len(password) < 6:
                raise AuthError(422, "weak_password", "Password should be at least 6 characters.")
            with db.transaction(conn):
                accounts.set_password(conn, row["user_id"], password)
        return accounts.user_json(accounts.find_user(conn, row["user_id"]))

    def logout(self, headers, scope):
        row = self.bearer(headers)
        conn = self.conn()
        with db.transaction(conn):
            if scope == "local":
                accounts.revoke_session(conn, row["session_id"])
            else:
                conn.execute("UPDATE auth_sessions SET revoked = 1 WHERE user_id = ?", (row["user_id"],))
        return 204, None

    def recover(self, data):
        email = self.text(data, "email")
        conn = self.conn()
        with db.transaction(conn):
            user = accounts.find_user_by_email(conn, email) if email else None
            # The answer never tells whether the address has an account.
            if user is not None:
                code = accounts.new_recovery_code(conn, user["id"])
                append_jsonl(self.tools.outbox, {
                    "email": user["email"], "code": code, "purpose": "recovery",
                    "sent_at": datetime.now(timezone.utc).isoformat(timespec="seconds"),
                })
        return 200, {}

    def verify(self, data, lifetime):
        if self.text(data, "type") != "recovery":
            raise AuthError(400, "validation_failed", "Verify requires a verification type")
        conn = self.conn()
        pair = None
        # Committed also on refusal: a wrong code must count against the account.
        with db.transaction(conn):
            user = accounts.find_user_by_email(conn, self.text(data, "email"))
            if user is not None and accounts.consume_recovery_code(conn, user["id"], self.text(data, "token")):
                pair = accounts.issue_session(conn, user["id"], "recovery", lifetime)
        if pair is None:
            raise AuthError(403, "otp_expired", "Token has expired or is invalid")
        return 200, self.tokens_answer(pair, user, lifetime)


class TLSServer(ThreadingHTTPServer):
    """Does each TLS handshake in the connection's own thread, so a client that connects and then stays
    silent holds up only itself, never the accept loop and every other sign-in.

    Slow clients are bounded three ways: at most MAX_CONNECTIONS at once (a new one pushes out the
    connection that has waited longest for its request), a deadline on reading a whole request
    (handshake, request line, headers and body together; one byte now and then does not extend it),
    and an accept loop that pauses instead of spinning when the process is out of file descriptors."""

    daemon_threads = True
    request_queue_size = 1024
    HANDSHAKE_TIMEOUT = 20
    MAX_CONNECTIONS = 128
    REAP_INTERVAL = 0.2
    read_timeout = READ_TIMEOUT

    def __init__(self, address, handler, context):
        super().__init__(address, handler)
        self.context = context
        self.guard = threading.Lock()
        self.open = set()  # Connection
        self.accepted = {}  # file descriptor -> Connection, until its thread takes it
        self.local = threading.local()  # the Connection of the thread's own client
        self.closing = threading.Event()
        self.reaper = threading.Thread(target=self.reap, name="deadlines", daemon=True)
        self.reaper.start()

    class Connection:
        def __init__(self, sock, deadline):
            self.sock, self.deadline, self.opened, self.was_cut = sock, deadline, time.monotonic(), False

    def cut(self, connection):
        """Shuts the connection's socket (the plain socket's shutdown: an SSL socket's own would drop its
        state under the reading thread), so the reader's recv returns at once and its thread ends.
        Called under the guard; a connection leaves `open` before its descriptor is closed, so a
        number reused since is never touched."""
        try:
            socket.socket.shutdown(connection.sock, socket.SHUT_RDWR)
            connection.was_cut = True
        except OSError as error:
            # Shut already, or gone: done. No descriptor (the socket is being wrapped): next round.
            connection.was_cut = error.errno != errno.EBADF

    def expect_request(self, reading):
        """Starts (reading) or stops (the request is in) the deadline of this thread's connection."""
        connection = getattr(self.local, "connection", None)
        if connection is not None:
            with self.guard:
                connection.deadline = time.monotonic() + self.read_timeout if reading else None

    def reap(self):
        while not self.closing.wait(self.REAP_INTERVAL):
            now = time.monotonic()
            with self.guard:
                for connection in self.open:
                    if not connection.was_cut and connection.deadline is not None and connection.deadline <= now:
                        self.cut(connection)

    def push_out_oldest(self):
        """Cuts the connection that has waited longest for its request; False when none waits."""
        with self.guard:
            waiting = [c for c in self.open if c.deadline is not None and not c.was_cut]
            if not waiting:
                return False
            self.cut(min(waiting, key=lambda c: c.opened))
            return True

    def get_request(self):
        try:
            return super().get_request()
        except OSError as error:
            if error.errno in (errno.EMFILE, errno.ENFILE, errno.ENOBUFS, errno.ENOMEM):
                # The waiting client stays in the backlog: make room and pause rather than spin.
                self.push_out_oldest()
                time.sleep(0.05)
            raise

    def verify_request(self, request, client_address):
        with self.guard:
            crowded = len(self.open) >= self.MAX_CONNECTIONS
        if crowded and not self.push_out_oldest():
            return False  # every connection is being answered: this one is closed unanswered
        connection = self.Connection(request, time.monotonic() + self.read_timeout)
        with self.guard:
            self.open.add(connection)
            self.accepted[request.fileno()] = connection
        return True

    def handle_error(self, request, client_address):
        if not isinstance(sys.exc_info()[1], OSError):  # cut or vanished clients are routine
            super().handle_error(request, client_address)

    def server_close(self):
        self.closing.set()
        super().server_close()

    def finish_request(self, request, client_address):
        with self.guard:
            connection = self.accepted.pop(request.fileno(), None)
        self.local.connection = connection
        secure = None
        try:
            request.settimeout(self.HANDSHAKE_TIMEOUT)
            try:
                secure = self.context.wrap_socket(request, server_side=True, do_handshake_on_connect=False)
                with self.guard:
                    if connection is not None:
                        connection.sock = secure
                secure.do_handshake()
            except (ssl.SSLError, OSError):
                return
            # A client that goes silent after the handshake is dropped too.
            secure.settimeout(self.read_timeout)
            super().finish_request(secure, client_address)
        finally:
            with self.guard:
                self.open.discard(connection)
            self.local.connection = None
            if secure is not None:
                self.shutdown_request(secure)


def make_server(tools: ToolsFolder, port: int):
    tools.ensure_var()
    seed.ensure_seeded(tools)
    ca, cert, key = tls.ensure_certificates(tools.tls)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(str(cert), str(key))
    context.set_alpn_protocols(["http/1.1"])
    server = TLSServer(("127.0.0.1", port), Handler, context)
    server.app = AuthService(tools)
    return server, ca


def main(argv=None):
    from standin.args import parse_exact, ArgumentError
    try:
        options = parse_exact(argv if argv is not None else sys.argv[1:],
                              values={"--tools-folder", "--port", "--read-timeout"}, flags={"--write-config"})
        port = int(options.get("--port", "0"))
        read_timeout = float(options.get("--read-timeout", READ_TIMEOUT))
        if not read_timeout > 0:
            raise ValueError("--read-timeout must be positive")
    except (ArgumentError, ValueError) as error:
        print("auth_server: %s" % error, file=sys.stderr)
        return 2
    tools = ToolsFolder(options.get("--tools-folder"))
    private_umask()  # it writes nothing but the tools folder's state (the settings file keeps its mode)
    server, ca = make_server(tools, port)
    server.read_timeout = read_timeout
    bound = server.server_address[1]
    if "--write-config" in options:
        config.write_address(tools, bound)

    def stop(*_):
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    print(json.dumps({"port": bound, "ca": str(ca.resolve())}), flush=True)
    server.serve_forever(poll_interval=0.2)
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
