import http.client
import json
import os
import resource
import stat
import signal
import socket
import sqlite3
import ssl
import subprocess
import tempfile
import threading
import unittest
from pathlib import Path

from standin_helpers import EDITOR_ID, PYTHON, copy_tools
from standin import reset

KEY = "sb_publishable_local_standin_key"


class AuthServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="auth-")
        cls.tools = copy_tools(Path(cls.tmp.name) / "tooling")
        # The usual umask of a person's session: what the stand-in keeps private it must make so itself.
        cls.umask = os.umask(0o022)
        cls.server, cls.port, cls.context = cls.start_server()

    @classmethod
    def start_server(cls, preexec_fn=None, write_config=True):
        server = subprocess.Popen(
            [PYTHON, "-B", str(cls.tools.root / "standin/auth_server.py"), "--tools-folder", str(cls.tools.root),
             "--port", "0", *(["--write-config"] if write_config else []), "--read-timeout", "2"],
            stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True, preexec_fn=preexec_fn)
        announced = json.loads(server.stdout.readline())
        return server, announced["port"], ssl.create_default_context(cafile=announced["ca"])

    @classmethod
    def tearDownClass(cls):
        cls.server.send_signal(signal.SIGTERM)
        cls.server.wait(timeout=20)
        cls.server.stdout.close()
        os.umask(cls.umask)
        cls.tmp.cleanup()

    def setUp(self):
        reset.reset(self.tools, with_media=False)

    def request(self, method, path, body=None, token=None, key=KEY, host="127.0.0.1", port=None):
        connection = http.client.HTTPSConnection(host, port or self.port, context=self.context, timeout=20)
        headers = {"Content-Type": "application/json"}
        if key:
            headers["apikey"] = key
        if token:
            headers["Authorization"] = "Bearer " + token
        connection.request(method, path, body=None if body is None else json.dumps(body), headers=headers)
        response = connection.getresponse()
        payload = response.read()
        connection.close()
        return response.status, (json.loads(payload) if payload else None), response

    def login(self, password="Tavlon-demo-2026", email="editor@example.com", port=None):
        return self.request("POST", "/auth/v1/token?grant_type=password", {"email": email, "password": password},
                            port=port)

    def test_announce_line_config_and_certificate(self):
        text = self.tools.config_source.read_text()
        self.assertIn('"https://127.0.0.1:%d"' % self.port, text)
        self.assertIn('"%s"' % KEY, text)
        status, _, _ = self.login()
        self.assertEqual(status, 200)
        self.request("GET", "/auth/v1/user", host="localhost")  # the certificate also names localhost

    def test_password_grant_user_and_refresh_rotation(self):
        status, tokens, _ = self.login()
        self.assertEqual(status, 200)
        self.assertEqual(tokens["user"]["id"], EDITOR_ID)
        self.assertGreater(tokens["expires_in"], 60)
        status, user, _ = self.request("GET", "/auth/v1/user", token=tokens["access_token"])
        self.assertEqual((status, user["email"]), (200, "editor@example.com"))
        body = {"refresh_token": tokens["refresh_token"]}
        status, renewed, _ = self.request("POST", "/auth/v1/token?grant_type=refresh_token", body)
        self.assertEqual(status, 200)
        self.assertNotEqual(renewed["access_token"], tokens["access_token"])
        # Reusing a spent refresh token is refused and ends the session it belonged to.
        self.assertEqual(self.request("POST", "/auth/v1/token?grant_type=refresh_token", body)[0], 400)
        self.assertEqual(self.request("GET", "/auth/v1/user", token=renewed["access_token"])[0], 401)

    def test_refusals(self):
        rows = [
            ("wrong password", lambda: self.login("wrong-password")),
            ("unknown account", lambda: self.login(email="nobody@example.com")),
            ("missing api key", lambda: self.request("POST", "/auth/v1/token?grant_type=password", {}, key=None)),
            ("unknown grant", lambda: self.request("POST", "/auth/v1/token?grant_type=magic", {})),
            ("user without token", lambda: self.request("GET", "/auth/v1/user")),
            ("user with foreign token", lambda: self.request("GET", "/auth/v1/user", token="abc")),
        ]
        for name, call in rows:
            with self.subTest(name):
                self.assertIn(call()[0], (400, 401, 405))

    def test_logout_ends_only_that_session(self):
        first, second = self.login()[1], self.login()[1]
        status, body, _ = self.request("POST", "/auth/v1/logout?scope=local", {}, token=first["access_token"])
        self.assertEqual((status, body), (204, None))
        self.assertEqual(self.request("GET", "/auth/v1/user", token=first["access_token"])[0], 401)
        self.assertEqual(self.request("GET", "/auth/v1/user", token=second["access_token"])[0], 200)

    def test_password_setup_with_emailed_code(self):
        self.assertEqual(self.request("POST", "/auth/v1/recover", {"email": "editor@example.com"})[0], 200)
        self.assertEqual(self.request("POST", "/auth/v1/recover", {"email": "nobody@example.com"})[0], 200)
        mails = [json.loads(line) for line in self.tools.outbox.read_text().splitlines()]
        self.assertEqual(len(mails), 1)
        code = mails[0]["code"]
        self.assertRegex(code, r"^[0-9]{6,10}$")
        verify = {"email": "editor@example.com", "token": code, "type": "recovery"}
        status, recovery, _ = self.request("POST", "/auth/v1/verify", verify)
        self.assertEqual(status, 200)
        self.assertEqual(self.request("POST", "/auth/v1/verify", verify)[0], 403)  # a code works once
        status, user, _ = self.request("PUT", "/auth/v1/user", {"password": "A-brand-new-password"},
                                       token=recovery["access_token"])
        self.assertEqual((status, user["id"]), (200, EDITOR_ID))
        self.assertEqual(self.login()[0], 400)
        self.assertEqual(self.login("A-brand-new-password")[0], 200)

    def test_a_silent_or_broken_client_holds_up_no_one_else(self):
        silent = socket.create_connection(("127.0.0.1", self.port), timeout=20)  # never starts TLS
        try:
            self.assertEqual(self.login()[0], 200)
        finally:
            silent.close()
        for length in ("abc", "-1"):
            with self.subTest(content_length=length):
                raw = socket.create_connection(("127.0.0.1", self.port), timeout=20)
                with self.context.wrap_socket(raw, server_hostname="127.0.0.1") as secure:
                    secure.sendall(("POST /auth/v1/recover HTTP/1.1\r\nHost: 127.0.0.1\r\napikey: %s\r\n"
                                    "Content-Length: %s\r\n\r\n" % (KEY, length)).encode())
                    self.assertTrue(secure.recv(4096).startswith(b"HTTP/1.1 400"))
        self.assertEqual(self.login()[0], 200)

    def test_scenario_overrides_and_request_log(self):
        self.tools.auth_scenario.write_text(json.dumps({"routes": {
            "POST /auth/v1/token": {"status": 302, "headers": {"Location": "/auth/v1/trap"}, "times": 1},
            "/auth/v1/user": {"status": 200, "body_size": 32769},
        }}))
        status, _, response = self.login()
        self.assertEqual((status, response.getheader("Location")), (302, "/auth/v1/trap"))
        self.assertEqual(self.login()[0], 200)  # "times" used up
        connection = http.client.HTTPSConnection("127.0.0.1", self.port, context=self.context, timeout=20)
        connection.request("GET", "/auth/v1/user", headers={"apikey": KEY})
        self.assertEqual(len(connection.getresponse().read()), 32769)
        connection.close()
        self.tools.auth_scenario.unlink()
        lines = [json.loads(line) for line in self.tools.auth_requests.read_text().splitlines()]
        first = lines[0]
        self.assertEqual((first["method"], first["path"]), ("POST", "/auth/v1/token?grant_type=password"))
        self.assertEqual(first["headers"]["apikey"], KEY)
        self.assertEqual(json.loads(first["body"])["email"], "editor@example.com")


    def raw_request(self, method, path, body: bytes):
        connection = http.client.HTTPSConnection("127.0.0.1", self.port, context=self.context, timeout=20)
        connection.request(method, path, body=body, headers={"apikey": KEY, "Content-Type": "application/json"})
        response = connection.getresponse()
        payload = response.read()
        connection.close()
        return response.status, json.loads(payload)

    def test_unparsable_bodies_are_answered_400(self):
        rows = [
            ("deep nesting", b"[" * 30000 + b"]" * 30000),
            ("deep objects", b'{"a":' * 10000 + b"1" + b"}" * 10000),
            ("not UTF-8", b'{"email": "\xff\xfe"}'),
            ("not JSON", b"email=editor@example.com"),
            ("not an object", b'["editor@example.com"]'),
        ]
        for name, body in rows:
            with self.subTest(name):
                status, answer = self.raw_request("POST", "/auth/v1/token?grant_type=password", body)
                self.assertEqual((status, answer["error_code"]), (400, "bad_json"))
        self.assertEqual(self.login()[0], 200)

    def test_wrong_recovery_codes_are_limited_per_account(self):
        rows = [("four wrong, then the right one", 4, 200), ("five wrong spend the code", 5, 403)]
        for name, wrong, expected in rows:
            with self.subTest(name):
                reset.reset(self.tools, with_media=False)
                self.assertEqual(self.request("POST", "/auth/v1/recover", {"email": "editor@example.com"})[0], 200)
                code = json.loads(self.tools.outbox.read_text().splitlines()[-1])["code"]
                for guess in range(wrong):
                    attempt = "%06d" % ((int(code) + 1 + guess) % 1000000)
                    verify = {"email": "editor@example.com", "token": attempt, "type": "recovery"}
                    self.assertEqual(self.request("POST", "/auth/v1/verify", verify)[0], 403)
                verify = {"email": "editor@example.com", "token": code, "type": "recovery"}
                self.assertEqual(self.request("POST", "/auth/v1/verify", verify)[0], expected)
        # A new code starts a new count.
        self.assertEqual(self.request("POST", "/auth/v1/recover", {"email": "editor@example.com"})[0], 200)
        code = json.loads(self.tools.outbox.read_text().splitlines()[-1])["code"]
        verify = {"email": "editor@example.com", "token": code, "type": "recovery"}
        self.assertEqual(self.request("POST", "/auth/v1/verify", verify)[0], 200)

    def test_request_log_keeps_no_secret(self):
        self.tools.auth_requests.unlink(missing_ok=True)
        status, tokens, _ = self.login()
        self.assertEqual(status, 200)
        self.request("GET", "/auth/v1/user", token=tokens["access_token"])
        status, renewed, _ = self.request("POST", "/auth/v1/token?grant_type=refresh_token",
                                          {"refresh_token": tokens["refresh_token"]})
        self.assertEqual(status, 200)
        self.request("POST", "/auth/v1/recover", {"email": "editor@example.com"})
        code = json.loads(self.tools.outbox.read_text().splitlines()[-1])["code"]
        self.request("POST", "/auth/v1/verify", {"email": "editor@example.com", "token": code, "type": "recovery"})
        self.request("GET", "/auth/v1/user?token=" + renewed["access_token"])
        log = self.tools.auth_requests.read_text()
        for secret in ("Tavlon-demo-2026", tokens["access_token"], tokens["refresh_token"],
                       renewed["access_token"], renewed["refresh_token"], code):
            self.assertNotIn(secret, log)
        self.assertIn("editor@example.com", log)  # still a log of what was asked
        self.assertEqual(stat.S_IMODE(os.stat(self.tools.auth_requests).st_mode), 0o600)

    def test_a_client_silent_after_the_handshake_is_dropped(self):
        rows = [("says nothing", b""),
                ("headers, then no body", ("POST /auth/v1/recover HTTP/1.1\r\nHost: 127.0.0.1\r\napikey: %s\r\n"
                                           "Content-Length: 40\r\n\r\n{" % KEY).encode()),
                ("half a request line", b"POST /auth/v1/rec")]
        for name, sent in rows:
            with self.subTest(name):
                raw = socket.create_connection(("127.0.0.1", self.port), timeout=20)
                with self.context.wrap_socket(raw, server_hostname="127.0.0.1") as secure:
                    if sent:
                        secure.sendall(sent)
                    secure.settimeout(15)  # far beyond the server's two seconds
                    self.assertEqual(secure.recv(4096), b"")
        self.assertEqual(self.login()[0], 200)

    def test_state_and_secrets_are_private_to_the_owner(self):
        status, tokens, _ = self.login()
        self.assertEqual(status, 200)
        self.assertEqual(self.request("POST", "/auth/v1/recover", {"email": "editor@example.com"})[0], 200)
        code = json.loads(self.tools.outbox.read_text().splitlines()[-1])["code"]
        # An open writer keeps the journal files in place while they are looked at.
        reader = sqlite3.connect(str(self.tools.database))
        try:
            reader.execute("BEGIN IMMEDIATE")
            stored = b"".join(Path(str(self.tools.database) + suffix).read_bytes() for suffix in ("", "-wal"))
            self.assertTrue(Path(str(self.tools.database) + "-shm").exists())
            modes = {str(path.relative_to(self.tools.var)): stat.S_IMODE(path.lstat().st_mode)
                     for path in self.tools.var.rglob("*")}
            reader.execute("ROLLBACK")
        finally:
            reader.close()
        self.assertEqual(stat.S_IMODE(self.tools.var.stat().st_mode), 0o700)
        for name in ("outbox.jsonl", "standin.sqlite3", "standin.sqlite3-wal", "standin.sqlite3-shm", "tls/ca.key"):
            self.assertIn(name, modes)
        self.assertEqual({name: mode for name, mode in modes.items() if mode & 0o077}, {})
        # The database keeps what it only compares as digests: a copy of it signs no one in.
        for secret in (tokens["access_token"], tokens["refresh_token"]):
            self.assertNotIn(secret.encode(), stored)
        verify = {"email": "editor@example.com", "token": code, "type": "recovery"}
        self.assertEqual(self.request("POST", "/auth/v1/verify", verify)[0], 200)
        self.assertEqual(self.request("GET", "/auth/v1/user", token=tokens["access_token"])[0], 200)

    def test_guessing_is_limited_across_attempts_and_codes(self):
        def recovery_guesses():
            # New codes asked for between rounds of wrong guesses buy no new guesses.
            for _ in range(2):
                self.assertEqual(self.request("POST", "/auth/v1/recover", {"email": "editor@example.com"})[0], 200)
                code = json.loads(self.tools.outbox.read_text().splitlines()[-1])["code"]
                for guess in range(5):
                    attempt = "%06d" % ((int(code) + 1 + guess) % 1000000)
                    verify = {"email": "editor@example.com", "token": attempt, "type": "recovery"}
                    self.assertEqual(self.request("POST", "/auth/v1/verify", verify)[0], 403)
            self.assertEqual(self.request("POST", "/auth/v1/recover", {"email": "editor@example.com"})[0], 200)
            code = json.loads(self.tools.outbox.read_text().splitlines()[-1])["code"]
            return self.request("POST", "/auth/v1/verify",
                                {"email": "editor@example.com", "token": code, "type": "recovery"})[0]

        def password_guesses():
            for guess in range(10):
                self.assertEqual(self.login("wrong-%d" % guess)[0], 400)
            return self.login()[0]

        rows = [("recovery codes", recovery_guesses, 403), ("passwords", password_guesses, 429)]
        for name, guesses, refused in rows:
            with self.subTest(name):
                reset.reset(self.tools, with_media=False)
                # Even the right secret is refused now, with the service's error answer ...
                self.assertEqual(guesses(), refused)
                # ... while other accounts are untouched.
                self.assertEqual(self.login(email="second.editor@example.com")[0], 200)

    def test_a_thousand_slow_clients_leave_room_for_others(self):
        # A server with few file descriptors, so that slow clients could hold every one of them.
        limit = 256
        server, port, context = self.start_server(
            preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (limit, limit)), write_config=False)
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        if soft < 1200 <= hard:
            resource.setrlimit(resource.RLIMIT_NOFILE, (1200, hard))
        slow, stop = [], threading.Event()
        request = b"POST /auth/v1/token?grant_type=password HTTP/1.1\r\nHost: 127.0.0.1\r\n"

        def trickle():
            # One byte of a request now and then: never a whole request, never silent for long.
            while not stop.wait(0.2):
                for client, sent in list(slow):
                    try:
                        client.send(request[sent[0]:sent[0] + 1] or b"x")
                        sent[0] += 1
                    except (OSError, ValueError):
                        pass

        trickler = threading.Thread(target=trickle)
        trickler.start()
        try:
            for _ in range(1000):
                raw = socket.create_connection(("127.0.0.1", port), timeout=5)
                try:
                    slow.append((context.wrap_socket(raw, server_hostname="127.0.0.1"), [0]))
                except OSError:
                    raw.close()
                    break  # the server takes no more connections
            status, tokens, _ = self.login(port=port)
            self.assertEqual(status, 200)
            self.assertEqual(tokens["user"]["id"], EDITOR_ID)
            self.assertLess(len(os.listdir("/proc/%d/fd" % server.pid)), limit - 32)
        finally:
            stop.set()
            trickler.join(timeout=30)
            for client, _ in slow:
                client.close()
            server.send_signal(signal.SIGTERM)
            server.wait(timeout=20)
            server.stdout.close()

if __name__ == "__main__":
    unittest.main()
