"""desktop_service.py claim, history, pull, pull-film, package-film, relink-film and workspaces.

A pull copies the task's submitted backup into the project folder as a package folder named after the
package id, with every file's SHA-256 in its manifest; the answer says whether every file on disk matches
what the service recorded. The film folder commands work on such a pulled package, locally."""
import json
import os
import shutil
import tempfile
from pathlib import Path

from .. import briefs, db, media, packages
from ..errors import ToolError
from ..paths import inside, listed_inside, write_inside
from . import service
from .common import integer_text, served_company
from .service_inbox import now_text
from .service_tasks import company_task, decision_json, handles, proposal_json, receipt_json

CHANGED = "Opgaven er ændret, siden den blev hentet. Åbn opgaven igen."
TAKEN = "Opgaven er allerede taget af en anden redaktør."
CLOSED = "Opgaven kan ikke tages i sin nuværende status."
NOT_YOURS = "Tag opgaven, før du henter materialet."
NOT_PULLED = "Opgaven er ikke hentet til projektmappen. Hent den først."
NOT_FILM = "Kun klippeopgaver har en filmmappe."
NO_FILM_FOLDER = "Filmmappen findes ikke. Kopiér den komplette filmmappe først."
REQUEST_RECORD = "service-request.json"
HISTORY_FOLDER = "service-history"
FILM_MANIFEST = "film-project.json"


# ---- claim ----

@handles("serviceClaim")
def service_claim(ctx):
    operator = ctx.operator()
    revision = integer_text(ctx.args["--revision"], "Revisionen")
    with db.transaction(ctx.conn) as conn:
        company = served_company(conn, operator, ctx.args[service.C])
        task = company_task(conn, company["id"], ctx.positional())
        claimant = (task["claimed_by"] or "").lower()
        if claimant == operator and revision in (task["revision"], task["revision"] - 1):
            # The same editor asking again (an answer that got lost): the claim stands.
            return {"request": receipt_json(task), "replayed": True}
        if claimant:
            raise ToolError(TAKEN)
        if task["status"] != "waiting":
            raise ToolError(CLOSED)
        if task["revision"] != revision:
            raise ToolError(CHANGED)
        stamp = now_text()
        conn.execute("UPDATE requests SET status = 'active', claimed_by = ?, claimed_at = ?,"
                     " revision = revision + 1, updated_at = ? WHERE id = ?", (operator, stamp, stamp, task["id"]))
        task = conn.execute("SELECT * FROM requests WHERE id = ?", (task["id"],)).fetchone()
        return {"request": receipt_json(task), "replayed": False}


# ---- history ----

def detail_json(conn, task) -> dict:
    proposals = conn.execute("SELECT * FROM proposals WHERE request_id = ? ORDER BY version_number, id",
                             (task["id"],)).fetchall()
    decisions = conn.execute("SELECT * FROM decisions WHERE request_id = ? ORDER BY created_at, id",
                             (task["id"],)).fetchall()
    return {"request": receipt_json(task), "proposals": [proposal_json(r) for r in proposals],
            "decisions": [decision_json(r) for r in decisions]}


@handles("serviceHistory")
def service_history(ctx):
    operator = ctx.operator()
    company = served_company(ctx.conn, operator, ctx.args[service.C])
    inbox = ctx.inbox()
    ctx.conn.execute("BEGIN")
    try:
        task = company_task(ctx.conn, company["id"], ctx.positional())
        answer = detail_json(ctx.conn, task)
    finally:
        ctx.conn.execute("COMMIT")
    # Kept in the project folder, where an AI client reads it through the local MCP server.
    write_inside(inbox, (HISTORY_FOLDER, "%s.json" % task["id"]), json.dumps(answer, ensure_ascii=False, indent=2))
    return answer


# ---- pull ----

def pulled_package(inbox: Path, request_id: str):
    """(folder, manifest) of the package pulled for the task; the manifest without its file checks."""
    for folder in packages.package_folders(inbox):
        try:
            manifest = packages.load(folder, check_files=False)
        except packages.InvalidPackage:
            continue
        if manifest.get("requestID") == request_id:
            return folder, manifest
    raise ToolError(NOT_PULLED)


def files_match(folder: Path, manifest: dict) -> bool:
    try:
        packages.load(folder, check_files=True)
    except packages.InvalidPackage:
        return False
    return True


def download_json(folder: Path, manifest: dict, verified: bool, extra=None) -> dict:
    request = json.loads((folder / REQUEST_RECORD).read_text(encoding="utf-8"))
    answer = {"companyID": manifest["companyID"], "packageID": manifest["packageID"], "folder": str(folder),
              "request": request, "verified": verified}
    answer.update(extra or {})
    return answer


def write_package(staging: Path, source: Path, digests: dict, package: dict, task) -> bool:
    """Copies the backup's files and writes the manifest; False when a copied file differs from its digest."""
    files = []
    for entry in package["files"]:
        destination = inside(staging, entry["path"])
        origin = inside(source / "files", entry["path"])
        destination.parent.mkdir(parents=True, exist_ok=True)
        if not origin.is_file():
            return False
        shutil.copyfile(origin, destination)
        recorded = digests.get(entry["path"], {})
        if {"sha256": packages.sha256_file(destination), "bytes": destination.stat().st_size} != recorded:
            return False
        described = {k: v for k, v in entry.items() if k != "media"}
        described.update(sha256=recorded["sha256"], bytes=recorded["bytes"])
        size = media.SIZES.get(entry["media"])
        if size and entry["mediaKind"] in ("video", "image"):
            described.update(width=size[0], height=size[1])
        files.append(described)
    manifest = {k: v for k, v in package.items() if k not in ("files", "currentBrief")}
    manifest.update(schemaVersion=1, companyID=task["company_id"], backupID=task["backup_id"],
                    requestID=task["id"], files=files)
    (staging / packages.MANIFEST).write_text(json.dumps(manifest, ensure_ascii=False, indent=2), encoding="utf-8")
    (staging / REQUEST_RECORD).write_text(json.dumps(receipt_json(task), ensure_ascii=False), encoding="utf-8")
    return True


def pull(ctx):
    operator = ctx.operator()
    company = served_company(ctx.conn, operator, ctx.args[service.C])
    inbox = ctx.inbox()
    task = company_task(ctx.conn, company["id"], ctx.positional())
    if (task["claimed_by"] or "").lower() != operator:
        raise ToolError(NOT_YOURS)
    backup = ctx.conn.execute("SELECT * FROM backups WHERE id = ?", (task["backup_id"],)).fetchone()
    if backup is None:
        raise ToolError("Den indsendte version findes ikke længere hos tjenesten.")
    package = json.loads(backup["package"])
    target = inside(inbox, package["packageID"])
    if not target.exists():
        source, digests = media.ensure_cloud_copy(ctx.tools, backup["id"], package["files"])
        staging = Path(tempfile.mkdtemp(prefix=".pull-", dir=inbox))
        try:
            if not write_package(staging, source, digests, package, task):
                raise ToolError("Den indsendte version kunne ikke hentes helt. Prøv igen.")
            try:
                os.rename(staging, target)
            except OSError:
                raise ToolError("Mappen %s kunne ikke oprettes i projektmappen." % package["packageID"])
        finally:
            shutil.rmtree(staging, ignore_errors=True)
    else:
        # An earlier pull: its receipt is brought up to date, its files are checked again.
        write_inside(target, (REQUEST_RECORD,), json.dumps(receipt_json(task), ensure_ascii=False))
    briefs.store(target, briefs.observe(ctx.conn, task))
    manifest = packages.load(target, check_files=False)
    return download_json(target, manifest, files_match(target, manifest))


handles("servicePull")(pull)
handles("servicePullFilm")(pull)


# ---- film folder ----

def film_folder_of(inbox: Path, request_id: str) -> Path:
    # The id comes from a package's manifest, which a restored backup may carry: checked like any name.
    return inside(inbox, "film-%s" % request_id)


def film_answer(ctx, relink: bool):
    inbox = ctx.inbox()
    folder, manifest = pulled_package(inbox, ctx.positional())
    kind = (manifest.get("serviceRequest") or {}).get("kind", "filmEditing")
    if kind != "filmEditing":
        raise ToolError(NOT_FILM)
    if not files_match(folder, manifest):
        return download_json(folder, manifest, False, {"diskStatus": "unverified"})
    film = film_folder_of(inbox, ctx.positional())
    project = inside(film, FILM_MANIFEST)
    media_files = [f for f in manifest["files"] if f["role"] == "usable"]
    if relink:
        if not project.is_file():
            raise ToolError(NO_FILM_FOLDER)
    else:
        for entry in media_files:
            destination = inside(film, entry["path"])
            if destination.is_file() and packages.sha256_file(destination) == entry["sha256"]:
                continue
            destination.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(packages.safe_member(folder, entry["path"]), inside(film, entry["path"]))
    # Every import points at the copy on this disk; a missing or changed copy leaves the folder not ready.
    imports, ready = [], True
    for entry in media_files:
        copy = inside(film, entry["path"])
        present = copy.is_file() and packages.sha256_file(copy) == entry["sha256"]
        ready = ready and present
        imports.append({"path": entry["path"], "file": str(copy.resolve()), "sha256": entry["sha256"],
                        "present": present})
    write_inside(film, (FILM_MANIFEST,), json.dumps({"requestID": ctx.positional(), "packageID": manifest["packageID"],
                                                    "title": manifest["title"], "imports": imports},
                                                   ensure_ascii=False, indent=2))
    return download_json(folder, manifest, True, {"projectFolder": str(film), "projectManifest": str(project),
                                                  "diskStatus": "ready" if ready else "missing-media"})


@handles("packageFilm")
def package_film(ctx):
    return film_answer(ctx, relink=False)


@handles("relinkFilm")
def relink_film(ctx):
    return film_answer(ctx, relink=True)


# ---- working folders ----

HANDOFF_KEYS = ("handoffID", "folder", "fcpxml", "clipCount", "notices", "kind", "sourceFileCount",
                "timelineFormat")


@handles("serviceWorkspaces")
def service_workspaces(ctx):
    inbox = ctx.inbox()
    found = []
    root = inbox / packages.HANDOFFS
    # A hand-off folder (or the folder of them) that links elsewhere is not listed.
    records = sorted(root.glob("*/handoff.json")) if root.is_dir() and listed_inside(inbox, root) else []
    for record in records:
        if not listed_inside(root, record.parent) or record.is_symlink():
            continue
        try:
            handoff = json.loads(record.read_text(encoding="utf-8"))
        except (OSError, ValueError):
            continue
        if isinstance(handoff, dict) and handoff.get("requestID") == ctx.positional():
            found.append((handoff.get("createdAt") or "", {k: handoff[k] for k in HANDOFF_KEYS if k in handoff}))
    found.sort(key=lambda pair: pair[0], reverse=True)
    return {"handoffs": [handoff for _, handoff in found]}
