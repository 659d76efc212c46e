"""desktop_service.py template, preview and send: the written proposal of a task's working folder.

A working folder (hand-off) lives under handoffs/ in the project folder with its handoff.json, which
names the task it was prepared for. A writing hand-off gets work/customer-proposal.json, the file the editor
writes in. preview checks that file and records what was checked; send delivers exactly the checked
content, and a repeated send of the same proposal id is answered as a replay of the first."""
import hashlib
import json
import os
import uuid
from pathlib import Path

from .. import db, packages
from ..errors import ToolError
from ..paths import inside, listed_inside, read_inside, write_inside
from ..seed import NAMESPACE
from . import service
from .common import integer_text, served_company
from .service_inbox import now_text
from .service_tasks import company_task, handles, receipt_json

WRITING = ("conceptDevelopment", "scriptDevelopment")
PROPOSAL_FILE = ("work", "customer-proposal.json")
CHECKED_FILE = "proposal-checked.json"
SENT_LOG = "proposal-sends.jsonl"
NO_FOLDER = "Arbejdsmappen findes ikke for denne opgave. Forbered den igen."
CHANGED_SINCE_CHECK = "Forslaget er ændret siden gennemgangen. Kontrollér det igen, før du sender."
STRING_FIELDS = {
    "concept_options": ("id", "title", "rationale", "idea", "purpose", "audience", "angle", "message",
                        "call_to_action"),
    "script_sections": ("id", "title", "text"),
    "sources": ("title", "url", "note"),
}


def handoff_records(inbox: Path, request_id: str):
    """(folder, record) of every hand-off prepared for the task, oldest first."""
    found = []
    root = inbox / packages.HANDOFFS
    # Files are written into these folders: one that links elsewhere is no working folder.
    if not root.is_dir() or not listed_inside(inbox, root):
        return found
    for folder in root.iterdir():
        if not listed_inside(root, folder):
            continue
        try:
            record = json.loads(read_inside(folder, "handoff.json"))
        except (OSError, ValueError, ToolError):
            continue  # a folder without a readable record (or with one elsewhere) is no working folder
        if isinstance(record, dict) and record.get("requestID") == request_id:
            found.append((folder, record))
    found.sort(key=lambda item: (item[1].get("createdAt") or "", item[1].get("handoffID") or ""))
    return found


def writing_handoff(inbox: Path, request_id: str, handoff_id: str):
    for folder, record in handoff_records(inbox, request_id):
        if record.get("handoffID") == handoff_id:
            if record.get("kind") not in WRITING:
                raise ToolError("Arbejdsmappen er ikke en skriveopgave. Et forslag sendes som video.")
            return folder, record
    raise ToolError(NO_FOLDER)


def template_content(kind: str, title: str) -> dict:
    content = {"schemaVersion": 1, "kind": kind, "title": title, "body": "", "open_questions": [],
               "concept_options": [], "script_sections": [], "shots": [], "sources": []}
    if kind == "conceptDevelopment":
        content["concept_options"] = [{key: "" for key in STRING_FIELDS["concept_options"]}]
        content["concept_options"][0]["id"] = "option-1"
    else:
        content["script_sections"] = [{"id": "section-1", "title": "", "text": ""}]
        content["shots"] = [{"id": "shot-1", "title": "", "instruction": "", "kind": "narrative",
                             "section_id": "section-1", "duration_seconds": 5}]
    return content


@handles("proposalTemplate")
def template(ctx):
    folder, record = writing_handoff(ctx.inbox(), ctx.positional(), ctx.args["--handoff-id"])
    path = inside(folder, *PROPOSAL_FILE)
    if not path.exists() and not path.is_symlink():  # never overwrite what the editor has written
        path.parent.mkdir(exist_ok=True)
        title = "Forslag: %s" % (record.get("title") or "")
        text = json.dumps(template_content(record["kind"], title.strip()), ensure_ascii=False, indent=2)
        try:
            # Made new, never through a link or over a file that appeared meanwhile.
            handle = os.open(inside(folder, *PROPOSAL_FILE), os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_NOFOLLOW,
                             0o666)
        except FileExistsError:
            handle = None
        if handle is not None:
            with os.fdopen(handle, "w", encoding="utf-8") as out:
                out.write(text)
    return {"file": str(path),
            "notice": "Skriv forslaget i filen, gem den, og kontrollér det lokale forslag før afsendelse."}


def invalid(reason: str):
    return ToolError("Forslagsfilen kan ikke bruges: %s." % reason)


def check_strings(entry, keys, where):
    if not isinstance(entry, dict) or set(entry) != set(keys):
        raise invalid("%s har ikke de rigtige felter" % where)
    for key in keys:
        if not isinstance(entry[key], str):
            raise invalid("%s.%s skal være tekst" % (where, key))


def checked_content(folder: Path, kind: str) -> dict:
    try:
        content = json.loads(read_inside(folder, *PROPOSAL_FILE))
    except OSError:
        raise ToolError("Forslagsfilen findes ikke. Åbn arbejdsmappen igen.")
    except ValueError:
        raise invalid("filen er ikke gyldig JSON")
    expected = {"schemaVersion", "kind", "title", "body", "open_questions", "concept_options", "script_sections",
                "shots", "sources"}
    if not isinstance(content, dict) or set(content) != expected:
        raise invalid("felterne passer ikke til et skriftligt forslag")
    if content["kind"] != kind:
        raise invalid("forslaget er af en anden slags end opgaven")
    if content["schemaVersion"] != 1:
        raise invalid("ukendt skemaversion")
    for key in ("title", "body"):
        if not isinstance(content[key], str) or not content[key].strip():
            raise invalid("%s mangler" % ("titlen" if key == "title" else "brødteksten"))
    if not isinstance(content["open_questions"], list) or not all(isinstance(q, str) for q in content["open_questions"]):
        raise invalid("åbne spørgsmål skal være tekster")
    for field, keys in STRING_FIELDS.items():
        if not isinstance(content[field], list):
            raise invalid("%s skal være en liste" % field)
        for index, entry in enumerate(content[field]):
            check_strings(entry, keys, "%s[%d]" % (field, index))
    if not isinstance(content["shots"], list):
        raise invalid("shots skal være en liste")
    for index, shot in enumerate(content["shots"]):
        if not isinstance(shot, dict) or not {"id", "title", "instruction", "kind", "duration_seconds"} <= set(shot) \
                or not set(shot) <= {"id", "title", "instruction", "kind", "duration_seconds", "section_id"}:
            raise invalid("shots[%d] har ikke de rigtige felter" % index)
        duration = shot["duration_seconds"]
        if isinstance(duration, bool) or not isinstance(duration, int) or duration < 0:
            raise invalid("shots[%d].duration_seconds skal være et helt antal sekunder" % index)
        if shot.get("section_id") is not None and not isinstance(shot["section_id"], str):
            raise invalid("shots[%d].section_id skal være tekst" % index)
    if kind == "conceptDevelopment" and not content["concept_options"]:
        raise invalid("der er ingen koncepter")
    if kind == "scriptDevelopment" and not content["script_sections"]:
        raise invalid("der er ingen manusafsnit")
    return content


def content_hash(content: dict) -> str:
    return hashlib.sha256(packages.canonical(content)).hexdigest()


def proposal_id(request_id: str, handoff_id: str, digest: str) -> str:
    return str(uuid.uuid5(NAMESPACE, "proposal:%s:%s:%s" % (request_id, handoff_id, digest)))


@handles("proposalPreview")
def preview(ctx):
    inbox, request_id, handoff_id = ctx.inbox(), ctx.positional(), ctx.args["--handoff-id"]
    revision = integer_text(ctx.args["--revision"], "Revisionen")
    folder, record = writing_handoff(inbox, request_id, handoff_id)
    path = inside(folder, *PROPOSAL_FILE)
    content = checked_content(folder, record["kind"])
    digest = content_hash(content)
    answer = {"proposalID": proposal_id(request_id, handoff_id, digest), "requestID": request_id,
              "handoffID": handoff_id, "contentHash": digest, "file": str(path),
              "notice": "Forslaget er kontrolleret lokalt. Kun dette indhold sendes.", "expectedRevision": revision,
              "content": content}
    # The checked content is kept apart, so a later edit of the file cannot slip into the send.
    write_inside(folder, (CHECKED_FILE,), json.dumps(answer, ensure_ascii=False, indent=2))
    return answer


def sent_answer(conn, task, proposal, replayed):
    return {"request": receipt_json(task), "proposalID": proposal["id"], "version": proposal["version_number"],
            "replayed": replayed}


@handles("proposalSend")
def send(ctx):
    operator = ctx.operator()
    company = served_company(ctx.conn, operator, ctx.args[service.C])
    inbox, request_id, handoff_id = ctx.inbox(), ctx.positional(), ctx.args["--handoff-id"]
    wanted_id, digest = ctx.args["--proposal-id"], ctx.args["--content-hash"]
    revision = integer_text(ctx.args["--revision"], "Revisionen")
    folder, record = writing_handoff(inbox, request_id, handoff_id)
    try:
        checked = json.loads(read_inside(folder, CHECKED_FILE))
    except (OSError, ValueError, ToolError):
        raise ToolError("Forslaget er ikke kontrolleret. Kontrollér det lokale forslag først.")
    if not isinstance(checked, dict) or checked.get("proposalID") != wanted_id or checked.get("contentHash") != digest \
            or content_hash(checked.get("content")) != digest:
        raise ToolError(CHANGED_SINCE_CHECK)
    conn = ctx.conn
    with db.transaction(conn):
        task = company_task(conn, company["id"], request_id)
        earlier = conn.execute("SELECT * FROM proposals WHERE id = ? AND request_id = ?",
                               (wanted_id, task["id"])).fetchone()
        if earlier is not None:
            # The same reviewed proposal again: the first send stands, whatever changed since.
            return sent_answer(conn, task, earlier, True)
        if task["kind"] not in WRITING or checked["content"].get("kind") != task["kind"]:
            raise ToolError("Forslaget passer ikke til opgavens slags.")
        if task["claimed_by"] != operator:
            raise ToolError("Opgaven er ikke tildelt dig. Tag opgaven, før du sender.")
        if task["status"] not in ("active", "changes_requested"):
            raise ToolError("Opgaven venter ikke på et forslag lige nu. Hent opgaven igen.")
        if task["revision"] != revision:
            raise ToolError("Opgaven er ændret, siden forslaget blev kontrolleret. Hent opgaven, og kontrollér igen.")
        version = conn.execute("SELECT COALESCE(MAX(version_number), 0) + 1 FROM proposals WHERE request_id = ?",
                               (task["id"],)).fetchone()[0]
        stamp = now_text()
        conn.execute("INSERT INTO proposals (id, request_id, version_number, content, created_at, created_by)"
                     " VALUES (?, ?, ?, ?, ?, ?)",
                     (wanted_id, task["id"], version, json.dumps(checked["content"], ensure_ascii=False), stamp,
                      operator))
        conn.execute("UPDATE requests SET status = 'review', revision = revision + 1, latest_proposal_id = ?,"
                     " updated_at = ? WHERE id = ?", (wanted_id, stamp, task["id"]))
        task = company_task(conn, company["id"], request_id)
        proposal = conn.execute("SELECT * FROM proposals WHERE id = ?", (wanted_id,)).fetchone()
    with open(inside(folder, SENT_LOG), "a", encoding="utf-8") as log:
        log.write(json.dumps({"proposalID": wanted_id, "version": version, "contentHash": digest, "at": stamp}) + "\n")
    return sent_answer(conn, task, proposal, False)
