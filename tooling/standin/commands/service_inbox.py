"""desktop_service.py inbox, pipeline, claim-next, start, metadata-settings and metadata-consent.

The Sorvane inbox of one operator across every company they serve. Answers use schema version 2:
every key is always present and "none" is null. Tasks are listed newest first by (submitted_at, id)
and paged by a keyset cursor; a customer's films are listed by id and paged after a film id.
claim-next is idempotent per command id: the id is kept in the commands table with the task it
claimed, and a repeat answers that task again with "replayed" true."""
import json
from datetime import datetime, timezone

from .. import db
from ..errors import ToolError
from . import service
from .common import PAGE_SIZE, integer_text, served_company, uuid_text
from .service_tasks import company_task, handles, receipt_json

SCHEMA_VERSION = 2
TARGET_HOURS = {"low": 24, "middle": 8, "high": 2}
TIER_ORDER = {"high": 0, "middle": 1, "low": 2}
CONTACT_LIMIT = 200
CHANGED = "Opgaven er ændret siden indbakken blev hentet. Hent indbakken igen."
CONSENT_CHANGED = "Delingsindstillingerne er ændret. Hent dem igen."


def now_text() -> str:
    return datetime.now(timezone.utc).strftime("%Y-%m-%dT%H:%M:%S.%f")[:-3] + "Z"


def instant(text: str) -> datetime:
    """A stored or received internet date-time as an instant; fractional seconds optional."""
    value = text[:-1] + "+00:00" if text.endswith("Z") else text
    try:
        moment = datetime.fromisoformat(value)
    except ValueError:
        raise ToolError("Sidemarkøren kan ikke læses. Hent indbakken igen.")
    if moment.tzinfo is None:
        raise ToolError("Sidemarkøren kan ikke læses. Hent indbakken igen.")
    return moment


def utf16_length(text: str) -> int:
    return len(text.encode("utf-16-le")) // 2


def envelope(operator: str) -> dict:
    return {"schemaVersion": SCHEMA_VERSION, "operatorID": operator, "serverTime": now_text()}


# ---- reading the state ----

def consent(conn, company_id: str):
    row = conn.execute("SELECT * FROM company_consent WHERE company_id = ?", (company_id,)).fetchone()
    if row is None:  # a company that never chose keeps everything private
        return {"revision": 0, "allow_pipeline": False, "contact_name": None}
    return {"revision": row["revision"], "allow_pipeline": bool(row["allow_pipeline"]),
            "contact_name": row["contact_name"]}


def manages(conn, operator: str, company_id: str) -> bool:
    return conn.execute("SELECT 1 FROM consent_managers WHERE operator_id = ? AND company_id = ?",
                        (operator, company_id)).fetchone() is not None


def company_json(conn, operator: str, company) -> dict:
    shared = consent(conn, company["id"])
    return {"id": company["id"], "name": company["name"], "contactName": shared["contact_name"],
            "metadataAccess": "granted" if shared["allow_pipeline"] else "limited",
            "canManageMetadata": manages(conn, operator, company["id"])}


def campaign_of(conn, film_id: str):
    return conn.execute("SELECT c.id, c.title FROM campaign_films cf JOIN campaigns c ON c.id = cf.campaign_id"
                        " WHERE cf.film_id = ?", (film_id,)).fetchone()


def film_json(conn, film) -> dict:
    """A film as the inbox names it: by the customer's local project id."""
    campaign = campaign_of(conn, film["id"])
    return {"id": film["local_project_id"], "title": film["title"],
            "campaignID": campaign["id"] if campaign else None,
            "campaignTitle": campaign["title"] if campaign else None,
            "stage": film["stage"] or None}


def scheduling_of(conn, task):
    row = conn.execute("SELECT * FROM scheduling WHERE request_id = ?", (task["id"],)).fetchone()
    if row is not None:
        return row
    # A task made after the reset: middle tier, first round, received when submitted.
    return {"tier": "middle", "round": 1, "submission_mode": "unspecified", "received_at": task["submitted_at"],
            "eligible_at": None, "due_at": None, "started_at": None, "blocked_reason": None}


def claimable(task, plan) -> bool:
    return task["status"] == "waiting" and plan["blocked_reason"] is None


def scheduling_json(task, plan) -> dict:
    blocked = plan["blocked_reason"]
    if task["status"] != "waiting":
        blocked = "not_waiting"
    return {"tier": plan["tier"], "targetHours": TARGET_HOURS[plan["tier"]], "policyVersion": 1,
            "round": plan["round"], "submissionMode": plan["submission_mode"], "receivedAt": plan["received_at"],
            "eligibleAt": plan["eligible_at"], "dueAt": plan["due_at"], "startedAt": plan["started_at"],
            "blockedReason": blocked, "canClaim": claimable(task, plan)}


def row_json(conn, operator: str, task) -> dict:
    company = conn.execute("SELECT * FROM companies WHERE id = ?", (task["company_id"],)).fetchone()
    film = conn.execute("SELECT * FROM films WHERE id = ?", (task["film_id"],)).fetchone()
    return {"request": receipt_json(task), "company": company_json(conn, operator, company),
            "film": film_json(conn, film), "scheduling": scheduling_json(task, scheduling_of(conn, task))}


def served_tasks(conn, operator: str):
    return conn.execute("SELECT r.* FROM requests r JOIN operator_companies oc ON oc.company_id = r.company_id"
                        " WHERE oc.operator_id = ?", (operator,)).fetchall()


def listing_key(task):
    return (instant(task["submitted_at"]), task["id"].lower())


def can_start(task, plan, operator: str) -> bool:
    return (task["kind"] == "filmEditing" and task["status"] in ("active", "changes_requested")
            and plan["started_at"] is None and (task["claimed_by"] or "").lower() == operator)


def claim_order(conn, task):
    plan = scheduling_of(conn, task)
    due = plan["due_at"] or "9999"
    return (TIER_ORDER[plan["tier"]], due, plan["received_at"], task["id"])


def next_claimable(conn, operator: str):
    tasks = [t for t in served_tasks(conn, operator)
             if t["kind"] == "filmEditing" and claimable(t, scheduling_of(conn, t))]
    return min(tasks, key=lambda t: claim_order(conn, t)) if tasks else None


def proposed_next(conn, operator: str):
    """The operator's own claimed film that is not started yet, else the film they would claim next."""
    own = [t for t in served_tasks(conn, operator) if can_start(t, scheduling_of(conn, t), operator)]
    if own:
        return min(own, key=lambda t: claim_order(conn, t))
    return next_claimable(conn, operator)


# ---- inbox ----

def parse_cursor(text: str):
    try:
        cursor = json.loads(text)
    except ValueError:
        cursor = None
    if (not isinstance(cursor, dict) or set(cursor) != {"submitted_at", "id"}
            or not isinstance(cursor["submitted_at"], str) or not isinstance(cursor["id"], str)):
        raise ToolError("Sidemarkøren kan ikke læses. Hent indbakken igen.")
    try:
        cursor_id = uuid_text(cursor["id"], "Sidemarkørens")
    except ToolError:
        raise ToolError("Sidemarkøren kan ikke læses. Hent indbakken igen.")
    return instant(cursor["submitted_at"]), cursor_id


@handles("serviceInbox")
def service_inbox(ctx):
    operator = ctx.operator()
    conn = ctx.conn
    conn.execute("BEGIN")
    try:
        tasks = sorted(served_tasks(conn, operator), key=listing_key, reverse=True)
        if "--cursor" in ctx.args:
            after = parse_cursor(ctx.args["--cursor"])
            tasks = [t for t in tasks if listing_key(t) < after]
        page = tasks[:PAGE_SIZE]
        items = [row_json(conn, operator, t) for t in page]
        proposed = proposed_next(conn, operator)
        answer = envelope(operator)
        answer.update({
            "items": items,
            "nextCursor": ({"submitted_at": page[-1]["submitted_at"], "id": page[-1]["id"]}
                           if len(tasks) > PAGE_SIZE else None),
            "nextRequestID": proposed["id"] if proposed else None,
            "nextItem": row_json(conn, operator, proposed) if proposed else None,
        })
    finally:
        conn.execute("COMMIT")
    return answer


# ---- pipeline ----

@handles("servicePipeline")
def service_pipeline(ctx):
    operator = ctx.operator()
    conn = ctx.conn
    company = served_company(conn, operator, ctx.args[service.C])
    after = ctx.args.get("--after-film-id")
    after = uuid_text(after, "Filmens") if after is not None else ""
    conn.execute("BEGIN")
    try:
        shared = consent(conn, company["id"])
        films = conn.execute("SELECT * FROM films WHERE company_id = ?", (company["id"],)).fetchall()
        listed = []
        for film in films:
            latest = conn.execute("SELECT id, status FROM requests WHERE film_id = ?"
                                  " ORDER BY submitted_at DESC, id DESC LIMIT 1", (film["id"],)).fetchone()
            # Without the customer's consent only the films the service works on are shown.
            if latest is None and not shared["allow_pipeline"]:
                continue
            entry = film_json(conn, film)
            entry["requestID"] = latest["id"] if latest else None
            entry["serviceStatus"] = latest["status"] if latest else None
            listed.append(entry)
        listed.sort(key=lambda f: f["id"].lower())
        listed = [f for f in listed if f["id"].lower() > after]
        page = listed[:PAGE_SIZE]
        answer = envelope(operator)
        answer.update({"company": company_json(conn, operator, company), "films": page,
                       "nextCursor": page[-1]["id"] if len(listed) > PAGE_SIZE else None})
    finally:
        conn.execute("COMMIT")
    return answer


# ---- claim-next and start ----

def mutation_answer(conn, operator, task, replayed) -> dict:
    answer = envelope(operator)
    answer.update({"item": row_json(conn, operator, task) if task is not None else None, "replayed": replayed})
    return answer


@handles("serviceClaimNext")
def service_claim_next(ctx):
    operator = ctx.operator()
    command_id = uuid_text(ctx.args["--command-id"], "Kommandoens")
    with db.transaction(ctx.conn) as conn:
        earlier = conn.execute("SELECT * FROM commands WHERE id = ?", (command_id,)).fetchone()
        if earlier is not None:
            if earlier["operator_id"] != operator or earlier["kind"] != "claim-next":
                raise ToolError("Kommandoens id er allerede brugt. Prøv igen.")
            claimed = json.loads(earlier["result"])["request_id"]
            task = conn.execute("SELECT * FROM requests WHERE id = ?", (claimed,)).fetchone() if claimed else None
            return mutation_answer(conn, operator, task, True)
        task = next_claimable(conn, operator)
        if task is not None:
            stamp = now_text()
            conn.execute("UPDATE requests SET status = 'active', claimed_by = ?, claimed_at = ?,"
                         " revision = revision + 1, updated_at = ? WHERE id = ?",
                         (operator, stamp, stamp, task["id"]))
            task = conn.execute("SELECT * FROM requests WHERE id = ?", (task["id"],)).fetchone()
        conn.execute("INSERT INTO commands (id, operator_id, kind, result) VALUES (?, ?, ?, ?)",
                     (command_id, operator, "claim-next",
                      json.dumps({"request_id": task["id"] if task is not None else None})))
        return mutation_answer(conn, operator, task, False)


@handles("serviceStart")
def service_start(ctx):
    operator = ctx.operator()
    revision = integer_text(ctx.args["--revision"], "Revisionen")
    with db.transaction(ctx.conn) as conn:
        company = served_company(conn, operator, ctx.args[service.C])
        task = company_task(conn, company["id"], ctx.positional())
        plan = scheduling_of(conn, task)
        if task["revision"] != revision:
            raise ToolError(CHANGED)
        if not can_start(task, plan, operator):
            raise ToolError("Opgaven kan ikke startes. Den skal være en klippeopgave, som du har taget og ikke"
                            " har startet.")
        stamp = now_text()
        if isinstance(plan, dict):  # no stored scheduling yet: keep what the listing showed
            conn.execute("INSERT INTO scheduling (request_id, tier, round, submission_mode, received_at,"
                         " eligible_at, due_at, started_at, blocked_reason) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                         (task["id"], plan["tier"], plan["round"], plan["submission_mode"], plan["received_at"],
                          None, None, stamp, None))
        else:
            conn.execute("UPDATE scheduling SET started_at = ? WHERE request_id = ?", (stamp, task["id"]))
        conn.execute("UPDATE requests SET status = 'active', revision = revision + 1, updated_at = ? WHERE id = ?",
                     (stamp, task["id"]))
        task = conn.execute("SELECT * FROM requests WHERE id = ?", (task["id"],)).fetchone()
        return mutation_answer(conn, operator, task, False)


# ---- metadata-sharing consent ----

def managed_company(ctx, conn, operator):
    company = served_company(conn, operator, ctx.args[service.C])
    if not manages(conn, operator, company["id"]):
        raise ToolError("Du kan ikke styre delingen for denne kunde.")
    return company


def settings_json(conn, company_id) -> dict:
    shared = consent(conn, company_id)
    return {"schemaVersion": SCHEMA_VERSION, "companyID": company_id, "revision": shared["revision"],
            "allowPipeline": shared["allow_pipeline"], "contactName": shared["contact_name"]}


@handles("serviceMetadataSettings")
def service_metadata_settings(ctx):
    operator = ctx.operator()
    company = managed_company(ctx, ctx.conn, operator)
    return settings_json(ctx.conn, company["id"])


@handles("serviceMetadataConsent")
def service_metadata_consent(ctx):
    operator = ctx.operator()
    revision = integer_text(ctx.args["--revision"], "Revisionen")
    allow = ctx.args["--allow-pipeline"]
    if allow not in ("true", "false"):
        raise ToolError("--allow-pipeline skal være true eller false.")
    contact = ctx.args.get("--contact-name")
    if contact is not None and (utf16_length(contact) > CONTACT_LIMIT or "\x00" in contact or not contact.strip()):
        raise ToolError("Kontaktpersonens navn skal være 1 til 200 tegn.")
    with db.transaction(ctx.conn) as conn:
        company = managed_company(ctx, conn, operator)
        if consent(conn, company["id"])["revision"] != revision:
            raise ToolError(CONSENT_CHANGED)
        conn.execute("INSERT INTO company_consent (company_id, revision, allow_pipeline, contact_name)"
                     " VALUES (?, ?, ?, ?) ON CONFLICT (company_id) DO UPDATE SET revision = excluded.revision,"
                     " allow_pipeline = excluded.allow_pipeline, contact_name = excluded.contact_name",
                     (company["id"], revision + 1, 1 if allow == "true" else 0, contact))
        return settings_json(conn, company["id"])

