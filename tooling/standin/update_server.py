"""HTTPS stand-in for the update feed on 127.0.0.1, with the sign-in stand-in's certificate authority.

Usage: update_server.py --tools-folder DIR --bundle APP --version V [--port N]
It offers a copy of the bundle APP (its Info.plist raised to version V) as an archive signed with an
Ed25519 test key made once per tools folder. The archive is packed once per build of the bundle and kept
in var/updates (a later start with the same bundle, version and packing code reuses it, and archives of
other builds are removed); it is streamed from there. Feeds started together on one folder take turns
(var/updates.lock) at making what they keep there. It serves:
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
"slow" (the archive one byte every 0.1 s, until the client goes away: each such end adds a line to
var/updates/slow-ended), "stalled" (half the archive, then nothing more on the open connection until
the client goes away), and signed archives the app must refuse to install:
"dotdot-entry" (a member "<bundle>/../escape"), "absolute-entry" (a member "/<bundle>/..."),
"link-out" (a link leading out of the bundle), "executable-link" (the executable is a link to
/bin/sh), "no-executable" (the executable is missing), "deep" (a folder 1,500 levels deep, otherwise
good), "deep-link-out" (a link to /bin/sh at the bottom of that folder), "unpacks-too-large" (a
member of 32 MiB of zeros, far more than the archive's length), "long-link-out" (at the bottom of
folders with long names, whose paths tar still takes but whose full path beside the bundle is longer
than the system resolves, a link "b" to ".." and a link "a" through it that reads as inside the
bundle but leads out of it). And "read-only": a signed archive whose bundle, its Contents folder and a
folder "Contents/ro" with a sub-folder have no write permission and whose files there are read-only;
"writable": a signed archive whose folders are 0777 and whose files are 0666 (the executable 0777).
A scenario's feed, and its archive, are made when it is first asked for.
"""
import base64
import fcntl
import hashlib
import io
import json
import os
import platform
import re
import select
import shutil
import signal
import ssl
import stat
import subprocess
import sys
import tarfile
import tempfile
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
             "release-notes", "oversized-feed", "oversized-download", "slow", "stalled", "dotdot-entry",
             "absolute-entry", "link-out", "executable-link", "no-executable", "deep", "deep-link-out",
             "unpacks-too-large", "long-link-out", "read-only", "writable", "fifo")
# Archives that differ from the good one, each signed with the test key.
HOSTILE_ARCHIVES = ("dotdot-entry", "absolute-entry", "link-out", "executable-link", "no-executable", "deep",
                    "deep-link-out", "unpacks-too-large", "long-link-out", "read-only", "writable", "fifo")
DEEP_LEVELS = 1500
CHUNK = 64 * 1024
SMALL_FILE = 1024 * 1024
RELEASE_NOTES = "https://127.0.0.1/downloads/sorvane/release-notes.html"


def this_platform():
    machine = {"amd64": "x86_64", "arm64": "aarch64"}.get(platform.machine().lower(), platform.machine().lower())
    return "%s-%s" % (platform.system().lower(), machine)


def _openssl(*args, cwd, pass_fds=()):
    result = subprocess.run(["openssl", *args], cwd=cwd, capture_output=True, pass_fds=pass_fds)
    if result.returncode != 0:
        raise RuntimeError("openssl %s failed: %s" % (args[0], result.stderr.decode(errors="replace").strip()))
    return result.stdout


def plain_file(info: os.stat_result) -> bool:
    """A regular file of this user's with no other name: nothing else is read as a kept key or archive."""
    return stat.S_ISREG(info.st_mode) and info.st_nlink == 1 and info.st_uid == os.geteuid() and info.st_size > 0


def clear_name(path: Path):
    """Makes room for a new file at `path` where something other than a plain file stands: a folder
    goes (its links removed, never followed); anything else is replaced by the rename that follows."""
    try:
        if stat.S_ISDIR(os.lstat(path).st_mode):
            shutil.rmtree(path)
    except FileNotFoundError:
        pass


def write_new(path: Path, data: bytes, prefix: str):
    """Writes `data` to a new file of the folder, readable by its owner only, renamed into place."""
    descriptor, temporary = tempfile.mkstemp(prefix=prefix, dir=path.parent)
    try:
        with os.fdopen(descriptor, "wb") as out:
            os.fchmod(out.fileno(), 0o600)
            out.write(data)
        clear_name(path)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def ensure_key(folder: Path, name: str) -> Path:
    key = folder / name
    try:
        found = plain_file(os.lstat(key))
    except FileNotFoundError:
        found = False
    if not found:
        write_new(key, _openssl("genpkey", "-algorithm", "ed25519", cwd=folder), ".key-")
    return key


def public_key(key: Path) -> str:
    der = _openssl("pkey", "-in", str(key), "-pubout", "-outform", "DER", cwd=key.parent)
    return base64.b64encode(der[-32:]).decode()


def sign(key: Path, data: bytes) -> str:
    with tempfile.TemporaryFile(dir=key.parent) as message:  # a file without a name: nothing to remove
        message.write(data)
        message.flush()
        return sign_open_file(key, message.fileno())


def sign_open_file(key: Path, descriptor: int) -> str:
    """The signature of the whole file open at `descriptor`, read by openssl, not by this process."""
    signature = _openssl("pkeyutl", "-sign", "-inkey", str(key), "-rawin", "-in", "/dev/fd/%d" % descriptor,
                         cwd=key.parent, pass_fds=(descriptor,))
    return base64.b64encode(signature).decode()


def raised_plist(text: str, version: str) -> str:
    for key in ("CFBundleVersion", "CFBundleShortVersionString"):
        text = re.sub(r"(<key>%s</key>\s*<string>)[^<]*(</string>)" % key, r"\g<1>%s\g<2>" % version, text)
    return text


def executable_name(bundle: Path) -> str:
    text = (bundle / "Contents" / "Info.plist").read_text()
    match = re.search(r"<key>CFBundleExecutable</key>\s*<string>([^<]*)</string>", text)
    return match.group(1) if match else ""


def bundle_entries(bundle: Path):
    """(path, path relative to the bundle) of everything an archive of the bundle holds, in order."""
    for path in sorted(bundle.rglob("*")):
        relative = path.relative_to(bundle).as_posix()
        if relative == LEFT_OUT or relative.startswith(LEFT_OUT + "/"):
            continue  # a running stand-in's own state is no part of an update
        yield path, relative


def build_digest(bundle: Path, version: str, public: str) -> str:
    """Names one build of the bundle as offered: this file's code (which packs it), the version, the
    signing key, and every entry's name and mode, with a link's target, a small file's content and a
    large file's size, modification time, and what no copy keeps (its inode and change time: cp -p and
    install -p keep the size and modification time of other bytes). A run rewrites small files in the
    bundle with the same text (the sign-in stand-in's address); only a build rewrites a large one, and
    reading those would cost what packing them does."""
    digest = hashlib.sha256(Path(__file__).read_bytes())
    digest.update(json.dumps([version, public]).encode())
    for path, relative in bundle_entries(bundle):
        info = path.lstat()
        entry = [relative, info.st_mode]
        if stat.S_ISLNK(info.st_mode):
            entry.append(os.readlink(path))
        elif stat.S_ISREG(info.st_mode) and info.st_size <= SMALL_FILE:
            entry.append(hashlib.sha256(path.read_bytes()).hexdigest())
        elif not stat.S_ISDIR(info.st_mode):  # a folder's time changes with any entry made in it
            entry += [info.st_size, info.st_mtime_ns, info.st_dev, info.st_ino, info.st_ctime_ns]
        digest.update(json.dumps(entry).encode() + b"\n")
    return digest.hexdigest()


def pack(bundle: Path, version: str, variant: str, out):
    """Writes to the binary file `out` a gzip tar of the bundle under its own name, its Info.plist raised
    to `version`; `variant` is "good" or names one of HOSTILE_ARCHIVES."""
    executable = "Contents/MacOS/" + executable_name(bundle)
    with tarfile.open(fileobj=out, mode="w:gz", compresslevel=1) as archive:
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
        if variant == "writable":
            add_folder(bundle.name, 0o777)
        for path, relative in bundle_entries(bundle):
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
                    if variant == "writable":
                        info.mode = 0o777
                    archive.addfile(info)
                continue
            info = archive.gettarinfo(str(path), name)
            if variant == "writable":
                info.mode = 0o777 if info.mode & 0o100 else 0o666
            if path == bundle / "Contents" / "Info.plist":
                data = raised_plist(path.read_text(), version).encode()
                info.size = len(data)
                archive.addfile(info, io.BytesIO(data))
                continue
            with path.open("rb") as source:  # copied through a small buffer, however large the file
                archive.addfile(info, source)
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
        if variant == "fifo":
            pipe = tarfile.TarInfo(bundle.name + "/Contents/pipe")
            pipe.type = tarfile.FIFOTYPE
            pipe.mode = 0o666
            archive.addfile(pipe)
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


def feed(items) -> bytes:
    lines = ['<?xml version="1.0" encoding="utf-8"?>', "<feed>"]
    for item in items:
        attributes = " ".join("%s=%s" % (k, quoteattr(str(v))) for k, v in item.items())
        lines.append("  <item %s/>" % attributes)
    lines.append("</feed>")
    return ("\n".join(lines) + "\n").encode()


class Archive:
    """An archive in the folder, held open for the server's life: each answer reads it at its own
    offsets, and it stays readable whatever later happens to its name."""

    def __init__(self, descriptor: int, length: int, signature: str):
        self.descriptor, self.length, self.signature = descriptor, length, signature

    def chunks(self, limit: int, flip_at: int = -1, size: int = CHUNK):
        """The first `limit` bytes, `size` at a time, the byte at `flip_at` flipped."""
        offset = 0
        while offset < limit:
            data = os.pread(self.descriptor, min(size, limit - offset), offset)
            if not data:
                return
            if offset <= flip_at < offset + len(data):
                data = bytearray(data)
                data[flip_at - offset] ^= 0x01
                data = bytes(data)
            offset += len(data)
            yield data


class FolderLock:
    """One maker at a time in a feed's folder: of this feed's threads, and of every feed on the folder.
    Whatever a feed writes there it writes holding it, so a temporary file found by its holder was left
    by a feed that ended."""

    def __init__(self, path: Path):
        self.descriptor = os.open(path, os.O_RDWR | os.O_CREAT | os.O_NOFOLLOW | os.O_NONBLOCK | os.O_CLOEXEC, 0o600)
        if not stat.S_ISREG(os.fstat(self.descriptor).st_mode):
            os.close(self.descriptor)
            raise RuntimeError("%s is not a plain file" % path)
        self.threads = threading.RLock()
        self.depth = 0

    def __enter__(self):
        self.threads.acquire()
        if self.depth == 0:
            try:
                fcntl.flock(self.descriptor, fcntl.LOCK_EX)
            except BaseException:
                self.threads.release()
                raise
        self.depth += 1

    def __exit__(self, *_):
        self.depth -= 1
        if self.depth == 0:
            fcntl.flock(self.descriptor, fcntl.LOCK_UN)
        self.threads.release()


class Site:
    """Everything the server hands out. The offered archive is made at start unless this build already
    left it in the folder; a hostile variant, and each scenario's feed, when first asked for."""

    def __init__(self, folder: Path, bundle: Path, version: str, port: int):
        self.lock = FolderLock(folder.with_name(folder.name + ".lock"))
        with self.lock:
            if folder.exists() and not (folder / "test-key.pem").exists():
                shutil.rmtree(folder)
            folder.mkdir(parents=True, exist_ok=True)
            if folder.is_symlink():
                raise RuntimeError("%s is a link" % folder)  # its archives are written only into a folder of ours
            self.folder = folder
            self.bundle, self.version = bundle, version
            self.key = ensure_key(folder, "test-key.pem")
            self.other = ensure_key(folder, "other-key.pem")
            self.public_key = public_key(self.key)
            self.build = build_digest(bundle, version, self.public_key)
            self.archive_name = "%s-%s.tar.gz" % (bundle.stem, version)
            self.url = "https://127.0.0.1:%d/downloads/sorvane/%s" % (port, self.archive_name)
            self.archives = {}  # variant -> Archive
            self.feeds = {}  # scenario -> (feed, signature)
            self.remove_other_builds()
            self.archive("good")

    def file_name(self, variant: str) -> str:
        return "archive-%s-%s.tar.gz" % (variant, self.build)

    def remove_other_builds(self):
        """Archives of earlier builds, and what an interrupted start left half written, go; a link
        among them is removed itself, never followed."""
        for entry in os.scandir(self.folder):
            if entry.is_dir(follow_symlinks=False):
                continue
            if entry.name.startswith((".archive-", ".key-")) or (
                    entry.name.startswith("archive-") and not entry.name.endswith("-%s.tar.gz" % self.build)):
                os.unlink(entry.path)

    def archive(self, variant: str) -> Archive:
        with self.lock:
            if variant not in self.archives:
                self.archives[variant] = self.kept(variant) or self.make(variant)
            return self.archives[variant]

    def kept(self, variant: str):
        """The archive this build left in the folder, if a plain file is there. Anything else at its name
        (a link, a FIFO, a file with another name too) is never opened in a way that waits, nor served."""
        path = self.folder / self.file_name(variant)
        try:
            found = os.lstat(path)
            if not plain_file(found):
                return None
            descriptor = os.open(path, os.O_RDONLY | os.O_NOFOLLOW | os.O_NONBLOCK | os.O_CLOEXEC)
        except OSError:
            return None
        try:
            info = os.fstat(descriptor)
            if plain_file(info) and (info.st_dev, info.st_ino) == (found.st_dev, found.st_ino):
                return Archive(descriptor, info.st_size, sign_open_file(self.key, descriptor))
        except BaseException:
            os.close(descriptor)
            raise
        os.close(descriptor)
        return None

    def make(self, variant: str) -> Archive:
        """Packs the archive into a new file of the folder, readable by its owner only, and renames it
        into place: whatever stood at its name, a link too, is replaced, never written through."""
        descriptor, temporary = tempfile.mkstemp(prefix=".archive-", dir=self.folder)
        try:
            os.fchmod(descriptor, 0o600)
            with os.fdopen(descriptor, "wb", closefd=False) as out:
                pack(self.bundle, self.version, variant, out)
            archive = Archive(descriptor, os.fstat(descriptor).st_size, sign_open_file(self.key, descriptor))
            clear_name(self.folder / self.file_name(variant))
            os.replace(temporary, self.folder / self.file_name(variant))
        except BaseException:
            os.close(descriptor)
            os.unlink(temporary)
            raise
        return archive

    def feed(self, scenario: str):
        """(feed, its signature) of a scenario."""
        with self.lock:
            if scenario not in self.feeds:
                self.feeds[scenario] = self.make_feed(scenario)
            return self.feeds[scenario]

    def make_feed(self, scenario: str):
        good = self.archive("good")
        item = {"version": self.version, "shortVersion": self.version, "platform": this_platform(),
                "url": self.url, "length": good.length, "signature": good.signature}
        elsewhere = dict(item, platform="macos-arm64")
        if scenario == "foreign-key":
            item = dict(item, signature=sign_open_file(self.other, good.descriptor))
        elif scenario == "downgrade":
            item = dict(item, version="0.9", shortVersion="0.9")
        elif scenario == "prerelease":
            item = dict(item, version=self.version + "-beta", shortVersion=self.version + "-beta")
        elif scenario == "release-notes":
            item = dict(item, releaseNotes=RELEASE_NOTES)
        elif scenario in HOSTILE_ARCHIVES:
            hostile = self.archive(scenario)
            item = dict(item, length=hostile.length, signature=hostile.signature)
        body = feed([elsewhere] if scenario == "no-platform" else [elsewhere, item])
        if scenario == "oversized-feed":
            body = body.replace(b"</feed>", b"<!-- " + b"x" * (1024 * 1024) + b" -->\n</feed>")
        return body, sign(self.key, body).encode()

    def served_archive(self, scenario: str) -> Archive:
        return self.archive(scenario if scenario in HOSTILE_ARCHIVES else "good")

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
        if self.path == FEED_PATH:
            return self.answer(site.feed(scenario)[0], "application/xml")
        if self.path == FEED_PATH + ".sig":
            return self.answer(site.feed(scenario)[1], "text/plain")
        if self.path == "/downloads/sorvane/" + site.archive_name:
            archive = site.served_archive(scenario)
            length = archive.length
            if scenario == "truncated":
                self.start_archive(length, close=True)
                for data in archive.chunks(length // 2):
                    self.wfile.write(data)
                self.wfile.flush()
                return None
            if scenario == "slow":
                return self.drip(archive)
            if scenario == "stalled":
                return self.stall(archive)
            extra = 65536 if scenario == "oversized-download" else 0
            self.start_archive(length + extra)
            for data in archive.chunks(length, length // 2 if scenario == "flipped-byte" else -1):
                self.wfile.write(data)
            self.wfile.write(b"\0" * extra)
            return None
        return self.answer(b"not found\n", "text/plain", 404)

    def start_archive(self, length: int, close: bool = False):
        self.send_response(200)
        self.send_header("Content-Type", "application/gzip")
        self.send_header("Content-Length", str(length))
        if close:
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Cache-Control", "no-store")
        self.end_headers()

    def drip(self, archive: Archive):
        """The whole length announced, then one byte every 0.1 s until the client goes away, which
        adds a line to var/updates/slow-ended."""
        self.start_archive(archive.length, close=True)
        try:
            for data in archive.chunks(archive.length, size=1):
                self.wfile.write(data)
                self.wfile.flush()
                time.sleep(0.1)
        except OSError:
            # The client gave up (or stopped the transfer): said for a test, never through a link.
            ended = os.open(self.server.site.folder / "slow-ended",
                            os.O_WRONLY | os.O_APPEND | os.O_CREAT | os.O_NOFOLLOW | os.O_CLOEXEC, 0o600)
            with os.fdopen(ended, "a") as log:
                log.write("gone\n")

    def stall(self, archive: Archive):
        """The whole length announced and half of it sent, then nothing more, the connection kept open,
        until the client goes away (or ten minutes have passed)."""
        self.start_archive(archive.length, close=True)
        try:
            for data in archive.chunks(archive.length // 2):
                self.wfile.write(data)
            self.wfile.flush()
            deadline = time.monotonic() + 600
            while time.monotonic() < deadline:
                readable, _, _ = select.select([self.connection], [], [], 1)
                if readable and not self.connection.recv(1):
                    return
        except OSError:
            pass  # the client went away

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
    server.site = Site(tools.var / "updates", bundle, version, bound)

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
