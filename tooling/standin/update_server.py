"""HTTPS stand-in for the update feed on 127.0.0.1, with the sign-in stand-in's certificate authority.

Usage: update_server.py --tools-folder DIR --bundle APP --version V [--port N]
At start it packs a copy of the bundle APP (its Info.plist raised to version V) as a signed archive,
with an Ed25519 test key made once per tools folder, and serves:
  /downloads/sorvane/appcast.xml       the feed (one item for this platform, one for another)
  /downloads/sorvane/appcast.xml.sig   the feed's Ed25519 signature, base64
  /downloads/sorvane/<archive>         the archive
Prints one JSON line {"port", "ca", "feed", "publicKey"} once listening, then serves until SIGTERM.

Test hook: var/updates/scenario (one word, read on every request) changes what is served:
"good" (or no file), "flipped-byte" (one byte of the archive flipped), "foreign-key" (the item's
signature made with another key), "truncated" (the archive connection closes halfway),
"no-platform" (a feed without an item for this platform), "downgrade" (the item is version 0.9),
"prerelease" (the item is V-beta), "release-notes" (the item names its release notes),
"oversized-feed" (a signed feed of more than 1 MiB), "oversized-download" (more bytes than announced),
"slow" (the archive one byte every 0.1 s), and signed archives the app must refuse to install:
"dotdot-entry" (a member "<bundle>/../escape"), "absolute-entry" (a member "/<bundle>/..."),
"link-out" (a link leading out of the bundle), "executable-link" (the executable is a link to
/bin/sh), "no-executable" (the executable is missing), "deep" (a folder 1,500 levels deep, otherwise
good), "deep-link-out" (a link to /bin/sh at the bottom of that folder), "unpacks-too-large" (a
member of 32 MiB of zeros, far more than the archive's length), "long-link-out" (at the bottom of
folders with long names, whose paths tar still takes but whose full path beside the bundle is longer
than the system resolves, a link "b" to ".." and a link "a" through it that reads as inside the
bundle but leads out of it). And "read-only": a signed archive whose bundle, its Contents folder and a
folder "Contents/ro" with a sub-folder have no write permission and whose files there are read-only.
"""
import base64
import io
import json
import platform
import re
import shutil
import signal
import ssl
import subprocess
import sys
import tarfile
import threading
import time
from pathlib import Path
from xml.sax.saxutils import quoteattr

if __package__ in (None, ""):
    sys.path.insert(0, str(Path(__file__).resolve().parent.parent))
    __package__ = "standin"

from standin import tls  # noqa: E402
from standin.auth_server import DeadlineHandler, TLSServer  # noqa: E402
from standin.paths import ToolsFolder, private_umask  # noqa: E402

FEED_PATH = "/downloads/sorvane/appcast.xml"
LEFT_OUT = "Contents/Resources/tooling/var"
SCENARIOS = ("good", "flipped-byte", "foreign-key", "truncated", "no-platform", "downgrade", "prerelease",
             "release-notes", "oversized-feed", "oversized-download", "slow", "dotdot-entry", "absolute-entry",
             "link-out", "executable-link", "no-executable", "deep", "deep-link-out", "unpacks-too-large",
             "long-link-out", "read-only")
# Archives that differ from the good one, each signed with the test key.
HOSTILE_ARCHIVES = ("dotdot-entry", "absolute-entry", "link-out", "executable-link", "no-executable", "deep",
                    "deep-link-out", "unpacks-too-large", "long-link-out", "read-only")
DEEP_LEVELS = 1500
RELEASE_NOTES = "https://127.0.0.1/downloads/sorvane/release-notes.html"


def this_platform():
    machine = {"amd64": "x86_64", "arm64": "aarch64"}.get(platform.machine().lower(), platform.machine().lower())
    return "%s-%s" % (platform.system().lower(), machine)


def _openssl(*args, cwd):
    result = subprocess.run(["openssl", *args], cwd=cwd, capture_output=True)
    if result.returncode != 0:
        raise RuntimeError("openssl %s failed: %s" % (args[0], result.stderr.decode(errors="replace").strip()))
    return result.stdout


def ensure_key(folder: Path, name: str) -> Path:
    key = folder / name
    if not key.exists():
        _openssl("genpkey", "-algorithm", "ed25519", "-out", name + ".tmp", cwd=folder)
        (folder / (name + ".tmp")).chmod(0o600)
        (folder / (name + ".tmp")).replace(key)
    return key


def public_key(key: Path) -> str:
    der = _openssl("pkey", "-in", str(key), "-pubout", "-outform", "DER", cwd=key.parent)
    return base64.b64encode(der[-32:]).decode()


def sign(key: Path, data: bytes) -> str:
    message = key.parent / "message.tmp"
    message.write_bytes(data)
    try:
        signature = _openssl("pkeyutl", "-sign", "-inkey", str(key), "-rawin", "-in", str(message), cwd=key.parent)
    finally:
        message.unlink()
    return base64.b64encode(signature).decode()


def raised_plist(text: str, version: str) -> str:
    for key in ("CFBundleVersion", "CFBundleShortVersionString"):
        text = re.sub(r"(<key>%s</key>\s*<string>)[^<]*(</string>)" % key, r"\g<1>%s\g<2>" % version, text)
    return text


def executable_name(bundle: Path) -> str:
    text = (bundle / "Contents" / "Info.plist").read_text()
    match = re.search(r"<key>CFBundleExecutable</key>\s*<string>([^<]*)</string>", text)
    return match.group(1) if match else ""


def pack(bundle: Path, version: str, variant: str = "good") -> bytes:
    """A gzip tar of the bundle under its own name, its Info.plist raised to `version`; `variant` names
    one of HOSTILE_ARCHIVES."""
    executable = "Contents/MacOS/" + executable_name(bundle)
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w:gz", compresslevel=1) as archive:
        def add_file(name, data, mode=0o644):
            info = tarfile.TarInfo(name)
            info.size = len(data)
            info.mode = mode
            archive.addfile(info, io.BytesIO(data))

        def add_link(name, target):
            info = tarfile.TarInfo(name)
            info.type = tarfile.SYMTYPE
            info.linkname = target
            archive.addfile(info)

        def add_folder(name, mode):
            info = tarfile.TarInfo(name)
            info.type = tarfile.DIRTYPE
            info.mode = mode
            archive.addfile(info)

        if variant == "read-only":
            add_folder(bundle.name, 0o555)
        for path in sorted(bundle.rglob("*")):
            relative = path.relative_to(bundle).as_posix()
            if relative == LEFT_OUT or relative.startswith(LEFT_OUT + "/"):
                continue  # a running stand-in's own state is no part of an update
            name = bundle.name + "/" + relative
            if relative == executable and variant == "no-executable":
                continue
            if relative == executable and variant == "executable-link":
                add_link(name, "/bin/sh")
                continue
            if path.is_symlink():
                # Links inside the bundle travel as links.
                target = str(path.readlink())
                if not target.startswith("/"):
                    add_link(name, target)
                continue
            if not path.is_file():
                if path.is_dir():
                    info = archive.gettarinfo(str(path), name)
                    if variant == "read-only" and relative == "Contents":
                        info.mode = 0o555
                    archive.addfile(info)
                continue
            data = path.read_bytes()
            if path == bundle / "Contents" / "Info.plist":
                data = raised_plist(data.decode(), version).encode()
            info = archive.gettarinfo(str(path), name)
            info.size = len(data)
            archive.addfile(info, io.BytesIO(data))
        if variant == "dotdot-entry":
            add_file(bundle.name + "/../escape", b"outside\n")
        if variant == "absolute-entry":
            add_file("/" + bundle.name + "/Contents/absolute", b"absolute\n")
        if variant == "link-out":
            add_link(bundle.name + "/Contents/Resources/outside", "../../../outside")
        if variant in ("deep", "deep-link-out"):
            folder = bundle.name + "/Contents/Resources/deep" + "/d" * DEEP_LEVELS
            if variant == "deep":
                add_file(folder + "/bottom", b"bottom\n")
            else:
                add_link(folder + "/bottom", "/bin/sh")
        if variant == "read-only":
            add_folder(bundle.name + "/Contents/ro", 0o555)
            add_file(bundle.name + "/Contents/ro/file", b"read-only\n", 0o444)
            add_folder(bundle.name + "/Contents/ro/sub", 0o555)
            add_file(bundle.name + "/Contents/ro/sub/file", b"read-only\n", 0o444)
        if variant == "unpacks-too-large":
            add_file(bundle.name + "/Contents/Resources/filler", bytes(32 * 1024 * 1024))
        if variant == "long-link-out":
            # The link's path inside the archive stays just below the 4,096 bytes tar can open; with
            # any folder in front of it, its full path no longer fits.
            folder = bundle.name + "/Contents/Resources/long"
            while len(folder) + 201 + len("/a") <= 4090:
                folder += "/" + "l" * 200
            last = 4090 - len(folder) - len("/a") - 1
            folder += "/" + "l" * (last if last > 0 else 1)
            depth = folder.count("/")  # below the bundle
            add_link(folder + "/b", "..")
            # As written: "b/.." is the folder itself, so it climbs one level less than it does.
            add_link(folder + "/a", "b/" + "/".join([".."] * depth))
    return buffer.getvalue()


def feed(items) -> bytes:
    lines = ['<?xml version="1.0" encoding="utf-8"?>', "<feed>"]
    for item in items:
        attributes = " ".join("%s=%s" % (k, quoteattr(str(v))) for k, v in item.items())
        lines.append("  <item %s/>" % attributes)
    lines.append("</feed>")
    return ("\n".join(lines) + "\n").encode()


class Site:
    """Everything the server hands out, per scenario, made once at start."""

    def __init__(self, folder: Path, bundle: Path, version: str, port: int):
        folder.mkdir(parents=True, exist_ok=True)
        self.folder = folder
        key = ensure_key(folder, "test-key.pem")
        other = ensure_key(folder, "other-key.pem")
        self.public_key = public_key(key)
        self.archive = pack(bundle, version)
        self.archive_name = "%s-%s.tar.gz" % (bundle.stem, version)
        self.archives = {variant: pack(bundle, version, variant) for variant in HOSTILE_ARCHIVES}
        base = "https://127.0.0.1:%d/downloads/sorvane/" % port
        item = {"version": version, "shortVersion": version, "platform": this_platform(),
                "url": base + self.archive_name, "length": len(self.archive),
                "signature": sign(key, self.archive)}
        elsewhere = dict(item, platform="macos-arm64")
        variants = {
            "foreign-key": dict(item, signature=sign(other, self.archive)),
            "downgrade": dict(item, version="0.9", shortVersion="0.9"),
            "prerelease": dict(item, version=version + "-beta", shortVersion=version + "-beta"),
            "release-notes": dict(item, releaseNotes=RELEASE_NOTES),
        }
        for variant, data in self.archives.items():
            variants[variant] = dict(item, length=len(data), signature=sign(key, data))
        self.feeds = {}
        for scenario in SCENARIOS:
            items = [elsewhere] if scenario == "no-platform" else [elsewhere, variants.get(scenario, item)]
            body = feed(items)
            if scenario == "oversized-feed":
                body = body.replace(b"</feed>", b"<!-- " + b"x" * (1024 * 1024) + b" -->\n</feed>")
            self.feeds[scenario] = (body, sign(key, body).encode())

    def scenario(self) -> str:
        try:
            word = (self.folder / "scenario").read_text().strip()
        except FileNotFoundError:
            return "good"
        return word if word in SCENARIOS else "good"


class Handler(DeadlineHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.request_read()
        site = self.server.site
        scenario = site.scenario()
        body, signature = site.feeds[scenario]
        if self.path == FEED_PATH:
            return self.answer(body, "application/xml")
        if self.path == FEED_PATH + ".sig":
            return self.answer(signature, "text/plain")
        if self.path == "/downloads/sorvane/" + site.archive_name:
            data = site.archives.get(scenario, site.archive)
            if scenario == "flipped-byte":
                data = bytearray(data)
                data[len(data) // 2] ^= 0x01
                data = bytes(data)
            if scenario == "oversized-download":
                data = data + b"\0" * 65536
            if scenario == "truncated":
                self.send_response(200)
                self.send_header("Content-Type", "application/gzip")
                self.send_header("Content-Length", str(len(data)))
                self.send_header("Connection", "close")
                self.end_headers()
                self.wfile.write(data[: len(data) // 2])
                self.wfile.flush()
                self.close_connection = True
                return None
            if scenario == "slow":
                return self.drip(data)
            return self.answer(data, "application/gzip")
        return self.answer(b"not found\n", "text/plain", 404)

    def drip(self, data: bytes):
        """The whole length announced, then one byte every 0.1 s until the client goes away."""
        self.send_response(200)
        self.send_header("Content-Type", "application/gzip")
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        try:
            for index in range(len(data)):
                self.wfile.write(data[index:index + 1])
                self.wfile.flush()
                time.sleep(0.1)
        except OSError:
            pass  # the client gave up

    def answer(self, data: bytes, kind: str, status: int = 200):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(data)


def main(argv=None):
    from standin.args import parse_exact, ArgumentError
    try:
        options = parse_exact(argv if argv is not None else sys.argv[1:],
                              values={"--tools-folder", "--port", "--bundle", "--version"}, flags=set())
        port = int(options.get("--port", "0"))
        bundle = Path(options["--bundle"]).resolve()
        version = options["--version"]
    except (ArgumentError, ValueError, KeyError) as error:
        print("update_server: %s" % error, file=sys.stderr)
        return 2
    if not (bundle / "Contents" / "Info.plist").is_file():
        print("update_server: %s is no application bundle" % bundle, file=sys.stderr)
        return 2
    tools = ToolsFolder(options.get("--tools-folder"))
    private_umask()  # it writes nothing but the tools folder's state (its keys among them)
    tools.ensure_var()
    ca, cert, key = tls.ensure_certificates(tools.tls)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(str(cert), str(key))
    server = TLSServer(("127.0.0.1", port), Handler, context)
    bound = server.server_address[1]
    folder = tools.var / "updates"
    if folder.exists() and not (folder / "test-key.pem").exists():
        shutil.rmtree(folder)
    server.site = Site(folder, bundle, version, bound)

    def stop(*_):
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    print(json.dumps({"port": bound, "ca": str(ca.resolve()),
                      "feed": "https://127.0.0.1:%d%s" % (bound, FEED_PATH),
                      "publicKey": server.site.public_key}), flush=True)
    server.serve_forever(poll_interval=0.2)
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
