"""Local packages in a project folder: one folder each, described by tavlon-package.json."""
import hashlib
import json
from pathlib import Path

from .errors import ToolError

MANIFEST = "tavlon-package.json"
HANDOFFS = "handoffs"
ROLES = ("usable", "context", "rejected")
KINDS = ("filmEditing", "conceptDevelopment", "scriptDevelopment")


class InvalidPackage(Exception):
    pass


def sha256_file(path: Path) -> str:
    digest = hashlib.sha256()
    with open(path, "rb") as handle:
        for block in iter(lambda: handle.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def canonical(value) -> bytes:
    return json.dumps(value, sort_keys=True, separators=(",", ":"), ensure_ascii=False).encode("utf-8")


def safe_member(folder: Path, relative: str) -> Path:
    """A file inside the package folder; refuses absolute paths, '..' and links leading out."""
    if not isinstance(relative, str) or not relative or relative.startswith("/") or "\\" in relative:
        raise InvalidPackage("ugyldig filsti")
    parts = Path(relative).parts
    if any(part in ("..", ".") for part in parts):
        raise InvalidPackage("ugyldig filsti")
    path = folder / relative
    if not path.resolve().is_relative_to(folder.resolve()):
        raise InvalidPackage("filen peger uden for pakken")
    return path


def load(folder: Path, check_files=True, with_brief=True) -> dict:
    """The manifest after every check, with the brief kept beside it (when there is one) as its
    "currentBrief"; raises InvalidPackage with a short reason."""
    try:
        raw = safe_member(folder, MANIFEST).read_bytes()
        manifest = json.loads(raw.decode("utf-8"))
    except (OSError, UnicodeDecodeError, ValueError):
        raise InvalidPackage("pakkebeskrivelsen kan ikke læses")
    if not isinstance(manifest, dict):
        raise InvalidPackage("pakkebeskrivelsen kan ikke læses")
    for key in ("packageID", "projectID", "title", "masterprompt"):
        if not isinstance(manifest.get(key), str) or not manifest[key]:
            raise InvalidPackage("pakkebeskrivelsen mangler %s" % key)
    files = manifest.get("files")
    if not isinstance(files, list):
        raise InvalidPackage("pakkebeskrivelsen mangler filer")
    request = manifest.get("serviceRequest")
    if request is not None and (not isinstance(request, dict) or request.get("kind") not in KINDS):
        raise InvalidPackage("opgavebeskrivelsen er ugyldig")
    seen = set()
    for entry in files:
        if not isinstance(entry, dict) or entry.get("role") not in ROLES:
            raise InvalidPackage("en filbeskrivelse er ugyldig")
        if entry.get("path") in seen:
            raise InvalidPackage("en fil er nævnt to gange")
        seen.add(entry.get("path"))
        path = safe_member(folder, entry.get("path"))
        if check_files:
            if not path.is_file():
                raise InvalidPackage("%s mangler" % entry["path"])
            if path.stat().st_size != entry.get("bytes") or sha256_file(path) != entry.get("sha256"):
                raise InvalidPackage("%s er ændret" % entry["path"])
    manifest["_fingerprint"] = hashlib.sha256(raw).hexdigest()
    if with_brief:
        from . import briefs
        brief = briefs.kept(folder)
        if brief is not None:
            manifest["currentBrief"] = brief
    return manifest


def summary(manifest: dict) -> dict:
    files = manifest["files"]
    counts = {role: sum(1 for f in files if f["role"] == role) for role in ROLES}
    answer = {
        "packageID": manifest["packageID"],
        "projectID": manifest["projectID"],
        "title": manifest["title"],
        "fingerprint": manifest["_fingerprint"],
        "referencedFileCount": len(files),
        "referencedBytes": sum(int(f.get("bytes", 0)) for f in files),
        "counts": counts,
    }
    if manifest.get("serviceRequest") is not None:
        answer["serviceRequest"] = manifest["serviceRequest"]
    return answer


def context_revision(manifest: dict) -> str:
    """64 lower-case hex digits over what a hand-off is made from; the brief's own stamp and
    observation time do not count, so a brief can carry the revision it belongs to."""
    brief = manifest.get("currentBrief")
    if isinstance(brief, dict):
        brief = {k: v for k, v in brief.items() if k not in ("contextRevision", "observedAt")}
    basis = {"masterprompt": manifest["masterprompt"], "currentBrief": brief,
             "candidates": manifest.get("candidates", [])}
    return hashlib.sha256(canonical(basis)).hexdigest()


def package_folders(inbox: Path):
    from .paths import listed_inside
    for child in sorted(inbox.iterdir(), key=lambda p: p.name):
        # A package folder that links elsewhere is not part of this project folder.
        if child.is_dir() and not child.name.startswith(".") and (child / MANIFEST).exists() \
                and listed_inside(inbox, child):
            yield child


def find(inbox: Path, package_id: str):
    """(folder, manifest) of the valid package with that id."""
    for folder in package_folders(inbox):
        try:
            manifest = load(folder, check_files=False)
        except InvalidPackage:
            continue
        if manifest["packageID"] == package_id:
            try:
                return folder, load(folder)
            except InvalidPackage as error:
                raise ToolError("Pakken kunne ikke kontrolleres: %s." % error)
    raise ToolError("Pakken findes ikke i projektmappen. Opdater listen.")
