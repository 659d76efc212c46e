"""desktop_cloud.py: a company's completed cloud backups and their restore into the project folder."""
import json
import os
import shutil
import tempfile
from pathlib import Path

from .. import media, packages
from ..errors import ToolError
from ..paths import inside
from ..tool import command
from .common import served_company

S, CF, C = "desktop_cloud.py", "--credentials-file", "--company"
LIST_LIMIT = 50


def backup_json(row):
    return {"id": row["id"], "local_project_id": row["local_project_id"], "revision": row["revision"],
            "completed_at": row["completed_at"]}


@command(S, "cloudList", "list", values={CF, C}, required={CF}, credentials=CF,
         order="--credentials-file --company list".split())
def cloud_list(ctx):
    operator = ctx.operator()
    if C in ctx.args:
        company_ids = [served_company(ctx.conn, operator, ctx.args[C])["id"]]
    else:
        company_ids = [r["company_id"] for r in ctx.conn.execute(
            "SELECT company_id FROM operator_companies WHERE operator_id = ?", (operator,))]
    marks = ",".join("?" * len(company_ids)) or "''"
    rows = ctx.conn.execute(
        "SELECT * FROM backups WHERE state = 'completed' AND company_id IN (%s)"
        " ORDER BY completed_at DESC, id LIMIT ?" % marks, (*company_ids, LIST_LIMIT)).fetchall()
    return {"companyID": company_ids[0] if C in ctx.args else "", "backups": [backup_json(r) for r in rows]}


ALREADY_THERE = ("Mappen %s findes allerede i projektmappen. Eksisterende mapper overskrives aldrig;"
                 " flyt eller slet den først.")


@command(S, "cloudPull", "pull", 1, values={CF, C, "--inbox"}, required={CF, C, "--inbox"}, credentials=CF,
         order="--credentials-file --company pull --inbox".split())
def cloud_pull(ctx):
    operator = ctx.operator()
    company = served_company(ctx.conn, operator, ctx.args[C])
    inbox = ctx.inbox()
    row = ctx.conn.execute("SELECT * FROM backups WHERE id = ? AND company_id = ? AND state = 'completed'",
                           (ctx.positional(), company["id"])).fetchone()
    if row is None:
        raise ToolError("Backuppen findes ikke for denne virksomhed. Hent listen igen.")
    name = "%s-r%d" % (row["local_project_id"], row["revision"])
    target = inside(inbox, name)
    if os.path.lexists(target):
        raise ToolError(ALREADY_THERE % name)
    package = json.loads(row["package"])
    source, digests = media.ensure_cloud_copy(ctx.tools, row["id"], package["files"])
    # Everything is written and checked in a hidden folder; only a verified copy is moved into view.
    staging = Path(tempfile.mkdtemp(prefix=".restore-", dir=inbox))
    try:
        verified = _restore_into(staging, source, digests, package, company["id"], row["id"])
        if verified:
            _publish(staging, target, name)
    finally:
        if staging.exists():
            shutil.rmtree(staging, ignore_errors=True)
    return {"companyID": company["id"], "backupID": row["id"], "folder": str(target), "verified": verified}


def _restore_into(staging, source, digests, package, company_id, backup_id):
    """Copies the backup's files and writes its manifest; True when every file matches its digest."""
    files = []
    for entry in package["files"]:
        destination = inside(staging, entry["path"])
        origin = inside(source / "files", entry["path"])
        destination.parent.mkdir(parents=True, exist_ok=True)
        if not origin.is_file():
            return False
        shutil.copyfile(origin, destination)
        recorded = digests.get(entry["path"], {})
        restored = {"sha256": packages.sha256_file(destination), "bytes": destination.stat().st_size}
        if restored != recorded:
            return False
        described = {k: v for k, v in entry.items() if k != "media"}
        described.update(sha256=recorded.get("sha256"), bytes=recorded.get("bytes"))
        width_height = media.SIZES.get(entry["media"])
        if width_height and entry["mediaKind"] in ("video", "image"):
            described.update(width=width_height[0], height=width_height[1])
        files.append(described)
    manifest = {k: v for k, v in package.items() if k != "files"}
    manifest.update(schemaVersion=1, companyID=company_id, backupID=backup_id, files=files)
    (staging / packages.MANIFEST).write_text(json.dumps(manifest, ensure_ascii=False, indent=2),
                                             encoding="utf-8")
    return True


def _publish(staging, target, name):
    """Moves the checked copy to its place without ever replacing what is there.

    The name is claimed with mkdir, which fails for anything already present (a folder, a file, a link);
    rename then only ever replaces that empty folder of our own."""
    try:
        os.mkdir(target)
    except FileExistsError:
        raise ToolError(ALREADY_THERE % name)
    try:
        os.rename(staging, target)
    except OSError:
        try:
            os.rmdir(target)
        except OSError:
            pass  # someone wrote into it meanwhile; it is theirs now
        raise ToolError(ALREADY_THERE % name)
