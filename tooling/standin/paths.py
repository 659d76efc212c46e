"""Where a tools folder keeps its mutable state."""
import os
import tempfile
from pathlib import Path

CONFIG_SOURCE = Path("ios/TavlonFilm/Cloud/CloudConfiguration.swift")
# A tools folder inside an application bundle may keep its state elsewhere: this file names the
# folder (one absolute path), so that the state outlasts the bundle being replaced by an update.
STATE_POINTER = "var-folder"


def default_tools_folder() -> Path:
    # standin/ lives directly in the tools folder.
    return Path(__file__).resolve().parent.parent


class ToolsFolder:
    def __init__(self, root=None):
        self.root = Path(root).resolve() if root else default_tools_folder()
        self._var = self.root / "var"
        try:
            named = (self.root / STATE_POINTER).read_text(encoding="utf-8").strip()
        except (FileNotFoundError, NotADirectoryError):
            named = ""
        if named.startswith("/") and "\0" not in named:
            self._var = Path(named)

    @property
    def var(self) -> Path:
        return self._var

    @property
    def database(self) -> Path:
        return self.var / "standin.sqlite3"

    @property
    def outbox(self) -> Path:
        return self.var / "outbox.jsonl"

    @property
    def tls(self) -> Path:
        return self.var / "tls"

    @property
    def media(self) -> Path:
        return self.var / "media"

    @property
    def cloud_store(self) -> Path:
        return self.var / "cloud"

    @property
    def auth_scenario(self) -> Path:
        return self.var / "auth_scenario.json"

    @property
    def auth_requests(self) -> Path:
        return self.var / "auth_requests.jsonl"

    @property
    def scenario(self) -> Path:
        return self.var / "scenario.json"

    @property
    def runs(self) -> Path:
        return self.var / "runs.jsonl"

    @property
    def config_source(self) -> Path:
        return self.root / CONFIG_SOURCE

    def ensure_var(self) -> Path:
        # It holds the database (tokens, codes), the outbox and the CA key: its owner's only.
        self.var.mkdir(mode=0o700, parents=True, exist_ok=True)
        os.chmod(self.var, 0o700)
        return self.var


def private_umask():
    """Makes every file and folder this process creates from now on readable by its owner only.

    Only for processes that write nothing but the tools folder's state (the sign-in server, reset):
    a tool's files in the project folder keep the person's own umask."""
    os.umask(0o077)


def append_jsonl(path: Path, record: dict) -> None:
    """Appends one line to a log of the tools folder's state, readable by its owner only (mode 0600):
    the outbox carries codes and the run logs what was asked."""
    import json
    import fcntl
    path.parent.mkdir(parents=True, exist_ok=True)
    line = json.dumps(record, ensure_ascii=False, sort_keys=True) + "\n"
    descriptor = os.open(path, os.O_WRONLY | os.O_APPEND | os.O_CREAT | os.O_NOFOLLOW, 0o600)
    os.fchmod(descriptor, 0o600)  # also a log left from before
    with os.fdopen(descriptor, "a", encoding="utf-8") as handle:
        fcntl.flock(handle, fcntl.LOCK_EX)
        handle.write(line)
        handle.flush()
        fcntl.flock(handle, fcntl.LOCK_UN)


OUTSIDE = "Stien peger uden for sin mappe. Handlingen er stoppet, og intet er skrevet."


def inside(base: Path, *parts) -> Path:
    """base/parts, refused unless it lies inside base once symbolic links are followed.

    Every part must be a plain relative name: no empty part, no absolute path, no "." or "..", no
    backslash or NUL. Raises the service's error answer otherwise."""
    from .errors import ToolError
    for part in parts:
        text = str(part) if isinstance(part, (str, Path)) else None
        if not text or text.startswith("/") or "\\" in text or "\0" in text:
            raise ToolError(OUTSIDE)
        if any(piece in ("..", ".") for piece in text.split("/")):
            raise ToolError(OUTSIDE)
    path = Path(base).joinpath(*parts)
    if not path.resolve().is_relative_to(Path(base).resolve()):
        raise ToolError(OUTSIDE)
    return path


def listed_inside(base: Path, child: Path) -> bool:
    """Whether a folder entry may be listed: not a link, and inside base once resolved."""
    return not child.is_symlink() and child.resolve().is_relative_to(Path(base).resolve())


def current_umask() -> int:
    mask = os.umask(0o077)
    os.umask(mask)
    return mask


def write_inside(base: Path, parts, text: str) -> Path:
    """Writes text to base/parts (checked by inside) through a new temporary file and a rename, so an
    existing file, or a link put in its place, is replaced and never written through."""
    path = inside(base, *parts)
    path.parent.mkdir(parents=True, exist_ok=True)
    inside(base, *parts)  # the folders just made are ours; a link raced in is not
    handle, temporary = tempfile.mkstemp(prefix=".tmp-", dir=path.parent)
    try:
        os.fchmod(handle, 0o666 & ~current_umask())  # as a plainly written file would be
        with os.fdopen(handle, "w", encoding="utf-8") as out:
            out.write(text)
        os.replace(temporary, path)
    except BaseException:
        try:
            os.unlink(temporary)
        except OSError:
            pass
        raise
    return path


def read_inside(base: Path, *parts) -> str:
    """The text of base/parts, read only when it lies inside base once links are followed."""
    path = inside(base, *parts)
    with open(path, encoding="utf-8") as handle:
        return handle.read()
