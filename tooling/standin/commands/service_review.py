"""desktop_service.py review-pull, feedback and feedback-pull: review videos and customer reactions.

A review video lands in <inbox>/review-videos/<request>/<proposal>/<file name of the object key>; a reaction in
<inbox>/reaction-feedback/<request>/<decision>/<reaction>/reaction.mp4 with its annotations in
annotations.json beside it. Paths in the answers are resolved (no symbolic links), so a project folder
reached through a link still yields the path the app compares."""
import json
import os
import shutil
import tempfile
from pathlib import Path

from .. import media
from ..errors import ToolError
from ..packages import sha256_file
from ..paths import inside, write_inside
from . import service
from .common import served_company, uuid_text
from .service_tasks import company_task, decision_json, handles, proposal_json, receipt_json

NOT_FILM = "Kun klippeopgaver har filmversioner til gennemsyn."
NO_VERSION = "Filmversionen findes ikke i opgaven."
NO_VIDEO = "Forslaget har ingen filmversion."
NO_OBJECT = "Filmversionen findes ikke længere hos tjenesten."
NO_REACTION = "Reaktionen findes ikke i opgaven."
MODE = "selfie"


def film_task(ctx):
    operator = ctx.operator()
    company = served_company(ctx.conn, operator, ctx.args[service.C])
    task = company_task(ctx.conn, company["id"], ctx.positional())
    if task["kind"] != "filmEditing":
        raise ToolError(NOT_FILM)
    return operator, task


def history(conn, task) -> dict:
    proposals = conn.execute("SELECT * FROM proposals WHERE request_id = ? ORDER BY version_number, id",
                             (task["id"],)).fetchall()
    decisions = conn.execute("SELECT * FROM decisions WHERE request_id = ? ORDER BY created_at, id",
                             (task["id"],)).fetchall()
    return {"request": receipt_json(task), "proposals": [proposal_json(r) for r in proposals],
            "decisions": [decision_json(r) for r in decisions]}


def copy_into(source: Path, target: Path) -> Path:
    """Copies through a temporary file so a reader never sees half a video; answers the resolved path."""
    target.parent.mkdir(parents=True, exist_ok=True)
    handle, temporary = tempfile.mkstemp(prefix=".tmp-", dir=target.parent)
    os.close(handle)
    try:
        shutil.copyfile(source, temporary)
        os.replace(temporary, target)
    except BaseException:
        # A failed copy leaves no half file behind.
        os.unlink(temporary)
        raise
    return Path(os.path.realpath(target))


def path_part(value: str) -> str:
    """An id used as one folder name; anything that could climb out of the folder is refused."""
    if not value or "/" in value or value in (".", "..") or "\0" in value:
        raise ToolError(NO_VERSION)
    return value


@handles("serviceReviewPull")
def review_pull(ctx):
    operator, task = film_task(ctx)
    inbox = ctx.inbox()
    proposal_id = ctx.args["--proposal-id"]
    row = ctx.conn.execute("SELECT * FROM proposals WHERE id = ? AND request_id = ?",
                           (proposal_id, task["id"])).fetchone()
    if row is None:
        raise ToolError(NO_VERSION)
    proposal = proposal_json(row)
    video = proposal["content"].get("video")
    if not video:
        raise ToolError(NO_VIDEO)
    source = media.review_object(ctx.tools, video["object_key"])
    if source is None:
        raise ToolError(NO_OBJECT)
    name = Path(video["object_key"]).name
    target = inside(inbox, "review-videos", path_part(task["id"]), path_part(proposal_id), name)
    file = copy_into(source, target)
    digest = sha256_file(file)
    size = file.stat().st_size
    return {"companyID": task["company_id"], "requestID": task["id"], "operatorID": operator,
            "proposalID": proposal_id, "sha256": digest, "file": str(file),
            "proposalVersion": proposal["version_number"], "byteCount": size,
            "duration": video["duration_seconds"],
            "verified": digest == video["sha256"] and size == video["byte_count"],
            "history": history(ctx.conn, task)}


def reaction_rows(conn, task):
    """(reaction row, summary) of every reaction of the task, oldest first."""
    rows = conn.execute(
        "SELECT r.*, d.proposal_id, p.version_number, p.content FROM reactions r"
        " JOIN decisions d ON d.id = r.decision_id JOIN proposals p ON p.id = d.proposal_id"
        " WHERE r.request_id = ? ORDER BY r.created_at, r.id", (task["id"],)).fetchall()
    found = []
    for row in rows:
        video = json.loads(row["content"]).get("video") or {}
        annotations = json.loads(row["annotations"])
        found.append((row, {"id": row["id"], "decisionID": row["decision_id"], "proposalID": row["proposal_id"],
                            "sourceSHA256": video.get("sha256", ""), "mode": MODE,
                            "proposalVersion": row["version_number"], "annotationCount": len(annotations),
                            "duration": media.REACTION_SECONDS}))
    return found


@handles("serviceFeedback")
def feedback(ctx):
    operator, task = film_task(ctx)
    ctx.inbox()
    return {"companyID": task["company_id"], "requestID": task["id"], "operatorID": operator,
            "revision": task["revision"], "reactions": [summary for _, summary in reaction_rows(ctx.conn, task)]}


@handles("serviceFeedbackPull")
def feedback_pull(ctx):
    operator, task = film_task(ctx)
    inbox = ctx.inbox()
    decision_id = uuid_text(ctx.args["--decision-id"], "Beslutningens")
    reaction_id = uuid_text(ctx.args["--reaction-id"], "Reaktionens")
    chosen = [(row, summary) for row, summary in reaction_rows(ctx.conn, task)
              if row["id"] == reaction_id and row["decision_id"] == decision_id]
    if not chosen:
        raise ToolError(NO_REACTION)
    row, summary = chosen[0]
    # The stored name must stay inside the service's media: never a path of this computer's own.
    source = inside(media.ensure_media(ctx.tools), row["media_file"])
    if not source.is_file():
        raise ToolError(NO_REACTION)
    folder = inside(inbox, "reaction-feedback", task["id"], decision_id, reaction_id)
    file = copy_into(source, inside(folder, "reaction.mp4"))
    annotations = json.loads(row["annotations"])
    write_inside(folder, ("annotations.json",), json.dumps(annotations, ensure_ascii=False, indent=1))
    return {"companyID": task["company_id"], "requestID": task["id"], "operatorID": operator, "file": str(file),
            "revision": task["revision"], "selected": summary,
            "verified": sha256_file(file) == sha256_file(source), "annotations": annotations}
