"""The customer's current brief of a task: observed from the service, kept beside a pulled package.

The kept brief lives in the package folder as current-brief.json (the manifest stays untouched, so the
package's fingerprint does not move); loading a package folds it in as the manifest's "currentBrief"."""
import json
import os
import tempfile
from datetime import datetime, timezone
from pathlib import Path

SIDECAR = "current-brief.json"
AMENDMENT_KEYS = ("id", "company_id", "request_id", "film_id", "backup_id", "source_fingerprint", "base_revision",
                  "applied_revision", "instructions", "reason", "created_by", "created_at")


def amendment_of(conn, task):
    return conn.execute("SELECT * FROM amendments WHERE request_id = ? ORDER BY applied_revision DESC, id LIMIT 1",
                        (task["id"],)).fetchone()


def observe(conn, task) -> dict:
    """The brief as the service has it now, at the task's revision."""
    amendment = amendment_of(conn, task)
    brief = {"requestID": task["id"], "requestRevision": task["revision"],
             "originalInstructions": task["instructions"],
             "effectiveInstructions": amendment["instructions"] if amendment else task["instructions"],
             "observedAt": datetime.now(timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ"), "cached": True}
    if amendment is not None:
        brief["currentAmendment"] = {key: amendment[key] for key in AMENDMENT_KEYS}
    return brief


def kept(folder: Path):
    from .errors import ToolError
    from .paths import read_inside
    try:
        brief = json.loads(read_inside(folder, SIDECAR))
    except (OSError, ValueError, ToolError):
        return None
    return brief if isinstance(brief, dict) else None


def store(folder: Path, brief: dict) -> dict:
    """Keeps `brief` with the package, stamped with the context revision the package then has."""
    from . import packages
    manifest = packages.load(folder, check_files=False, with_brief=False)
    manifest["currentBrief"] = brief
    stamped = dict(brief, contextRevision=packages.context_revision(manifest))
    handle, temporary = tempfile.mkstemp(prefix=".tmp-", dir=folder)
    with os.fdopen(handle, "w", encoding="utf-8") as out:
        json.dump(stamped, out, ensure_ascii=False, indent=2)
    os.replace(temporary, folder / SIDECAR)
    return stamped


def amend(conn, request_id: str, instructions: str, reason: str, created_by: str, created_at: str) -> dict:
    """The customer changes the instructions: a new amendment, and the task's revision moves by one."""
    import uuid
    task = conn.execute("SELECT * FROM requests WHERE id = ?", (request_id,)).fetchone()
    amendment = {"id": str(uuid.uuid4()), "company_id": task["company_id"], "request_id": task["id"],
                 "film_id": task["local_project_id"], "backup_id": task["backup_id"],
                 "source_fingerprint": task["source_fingerprint"], "base_revision": task["revision"],
                 "applied_revision": task["revision"] + 1, "instructions": instructions, "reason": reason,
                 "created_by": created_by, "created_at": created_at}
    conn.execute("INSERT INTO amendments (%s) VALUES (%s)" % (", ".join(AMENDMENT_KEYS), ", ".join("?" * 12)),
                 tuple(amendment[key] for key in AMENDMENT_KEYS))
    conn.execute("UPDATE requests SET revision = revision + 1, updated_at = ? WHERE id = ?", (created_at, task["id"]))
    return amendment
