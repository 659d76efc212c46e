"""desktop_video.py: the local video tool. Prepares frozen drafts in the project folder, reports their
local send receipts, and sends a draft to the customer's review as a new proposal version."""
import json
import time
from pathlib import Path

from .. import db, drafts, media
from ..errors import ToolError
from ..tool import command
from .common import integer_text, served_company, uuid_text
from .service_tasks import company_task, receipt_json

S, CF, C, P = "desktop_video.py", "--credentials-file", "--company", "--proposal-id"
NOT_FILM = "Kun klippeopgaver kan få et videoudkast."


def film_task(conn, request_id: str):
    """The task of a local draft command (which carries no login): it must exist and be a film task."""
    try:
        key = uuid_text(request_id, "Opgavens")
    except ToolError:
        raise ToolError("Opgaven findes ikke. Hent opgaven igen.")
    row = conn.execute("SELECT * FROM requests WHERE id = ?", (key,)).fetchone()
    if row is None:
        raise ToolError("Opgaven findes ikke. Hent opgaven igen.")
    if row["kind"] != "filmEditing":
        raise ToolError(NOT_FILM)
    return row


def latest_decision(conn, proposal_id: str):
    rows = conn.execute("SELECT decision FROM decisions WHERE proposal_id = ? ORDER BY created_at DESC, id DESC"
                        " LIMIT 1", (proposal_id,)).fetchall()
    return rows[0]["decision"] if rows else None


@command(S, "videoPreview", "prepare", 1,
         values={"--inbox", "--video", "--revision", "--label", "--summary", "--editor"},
         required={"--inbox", "--video", "--revision", "--label", "--summary", "--editor"},
         order="prepare --inbox --video --revision --label --summary --editor".split())
def prepare(ctx):
    inbox = ctx.inbox()
    task = film_task(ctx.conn, ctx.positional())
    revision = integer_text(ctx.args["--revision"], "Revisionen")
    if revision < 0:
        raise ToolError("Revisionen skal være 0 eller mere.")
    return drafts.prepare(inbox, task["id"], Path(ctx.args["--video"]), revision, ctx.args["--label"],
                          ctx.args["--summary"], ctx.args["--editor"])


@command(S, "videoPending", "pending", 1, values={"--inbox"}, required={"--inbox"},
         order="pending --inbox".split())
def pending(ctx):
    inbox = ctx.inbox()
    task = film_task(ctx.conn, ctx.positional())
    return {"previews": drafts.pending(inbox, task["id"])}


@command(S, "videoStatus", "status", 1, values={"--inbox", P}, required={"--inbox", P},
         order="status --inbox --proposal-id".split())
def status(ctx):
    inbox = ctx.inbox()
    task = film_task(ctx.conn, ctx.positional())
    proposal_id = ctx.args[P]
    drafts.load(inbox, task["id"], proposal_id)
    sent = drafts.receipt(inbox, task["id"], proposal_id)
    if sent is None:
        return {"proposalID": proposal_id, "state": "notConfirmedLocally", "version": None,
                "customerApproved": False}
    return {"proposalID": proposal_id, "state": "sentForCustomerReview", "version": sent["version"],
            "customerApproved": latest_decision(ctx.conn, proposal_id) == "approve"}


@command(S, "videoSend", "send", 1, values={"--inbox", CF, C, P}, flags={"--qc-confirmed", "--confirm-send"},
         required={"--inbox", CF, C, P, "--qc-confirmed", "--confirm-send"}, credentials=CF,
         order="send --inbox --credentials-file --company --proposal-id --qc-confirmed --confirm-send".split())
def send(ctx):
    inbox = ctx.inbox()
    operator = ctx.operator()
    company = served_company(ctx.conn, operator, ctx.args[C])
    task = company_task(ctx.conn, company["id"], ctx.positional())
    if task["kind"] != "filmEditing":
        raise ToolError(NOT_FILM)
    proposal_id = ctx.args[P]
    draft = drafts.load(inbox, task["id"], proposal_id)
    video = dict(draft["content"]["video"], editor_qc_confirmed=True)
    # The record is a file in the project folder: the video is read only from the draft's own folder,
    # and the upload goes only under the key a draft of this task and proposal has.
    frozen, object_key = drafts.frozen_video(inbox, task["id"], proposal_id, draft)
    if not frozen.is_file() or drafts.sha256_file(frozen) != video["sha256"]:
        raise ToolError("Det frosne videoudkast er ændret. Klargør videoen igen.")
    content = dict(draft["content"], video=video)
    with db.transaction(ctx.conn) as conn:
        task = conn.execute("SELECT * FROM requests WHERE id = ?", (task["id"],)).fetchone()
        earlier = conn.execute("SELECT * FROM proposals WHERE id = ?", (proposal_id,)).fetchone()
        if earlier is not None:
            # The service already took this draft: a repeated send only confirms it.
            if earlier["request_id"] != task["id"]:
                raise ToolError("Forslaget hører til en anden opgave.")
            version, replayed = earlier["version_number"], True
        else:
            if task["claimed_by"] != operator:
                raise ToolError("Opgaven er ikke tildelt dig. Hent opgaven igen.")
            if task["status"] not in ("active", "changes_requested"):
                raise ToolError("Opgaven kan ikke modtage en ny version nu. Hent opgaven igen.")
            version = conn.execute("SELECT COALESCE(MAX(version_number), 0) + 1 FROM proposals"
                                   " WHERE request_id = ?", (task["id"],)).fetchone()[0]
            replayed = False
            stamp = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime())
            conn.execute("INSERT INTO proposals (id, request_id, version_number, content, created_at, created_by)"
                         " VALUES (?, ?, ?, ?, ?, ?)",
                         (proposal_id, task["id"], version, json.dumps(content, ensure_ascii=False), stamp,
                          operator))
            conn.execute("UPDATE requests SET status = 'review', revision = revision + 1, latest_proposal_id = ?,"
                         " updated_at = ? WHERE id = ?", (proposal_id, stamp, task["id"]))
        task = conn.execute("SELECT * FROM requests WHERE id = ?", (task["id"],)).fetchone()
    media.store_review_object(ctx.tools, object_key, frozen)
    if not replayed:
        drafts.copy_registered(inbox, task["id"], proposal_id)
    if ctx.rule and ctx.rule.get("mode") == "unconfirmed":
        # The service took the version, but neither the receipt nor the answer came back.
        raise ToolError("Forbindelsen blev afbrudt under afsendelsen. Videoen kan være modtaget.")
    drafts.write_receipt(inbox, task["id"], proposal_id, version)
    return {"request": receipt_json(task), "proposalID": proposal_id, "version": version, "replayed": replayed}
