"""desktop_service.py list and get: a company's tasks, and one task with its proposals and decisions.

Rows are printed the way the service stores them (snake_case keys, null for what is not set); the
envelopes use camelCase keys with "ID" in capitals."""
import json

from ..errors import ToolError
from ..tool import REGISTRY
from . import service
from .common import served_company, uuid_text

NOT_FOUND = "Opgaven findes ikke hos den valgte virksomhed. Hent opgavelisten igen."

RECEIPT_KEYS = ("id", "company_id", "local_project_id", "backup_id", "source_fingerprint", "title", "kind",
                "status", "revision", "submitted_by", "submitted_at", "updated_at", "claimed_by", "claimed_at",
                "latest_proposal_id")


def handles(case):
    """Gives a handler to a command whose grammar the script module already declared."""
    entries = [entry for entry in REGISTRY[service.S].values() if entry.case == case]
    assert len(entries) == 1, case

    def register(handler):
        entries[0].handler = handler
        return handler
    return register


def receipt_json(row) -> dict:
    return {key: row[key] for key in RECEIPT_KEYS}


def proposal_json(row) -> dict:
    return {"id": row["id"], "version_number": row["version_number"], "content": json.loads(row["content"]),
            "created_at": row["created_at"]}


def decision_json(row) -> dict:
    return {"id": row["id"], "proposal_id": row["proposal_id"], "decision": row["decision"],
            "comment": row["comment"], "created_at": row["created_at"],
            "selected_option_id": row["selected_option_id"]}


def company_task(conn, company_id: str, request_id: str):
    """The task row when it belongs to the company; one message for unknown, malformed and foreign ids."""
    try:
        key = uuid_text(request_id, "Opgavens")
    except ToolError:
        raise ToolError(NOT_FOUND)
    row = conn.execute("SELECT * FROM requests WHERE id = ? AND company_id = ?", (key, company_id)).fetchone()
    if row is None:
        raise ToolError(NOT_FOUND)
    return row


@handles("serviceList")
def service_list(ctx):
    operator = ctx.operator()
    company = served_company(ctx.conn, operator, ctx.args[service.C])
    # Newest activity first; the id keeps the order fixed between equal times.
    rows = ctx.conn.execute("SELECT * FROM requests WHERE company_id = ? ORDER BY updated_at DESC, id",
                            (company["id"],)).fetchall()
    return {"companyID": company["id"], "operatorID": operator, "requests": [receipt_json(r) for r in rows]}


@handles("serviceGet")
def service_get(ctx):
    operator = ctx.operator()
    company = served_company(ctx.conn, operator, ctx.args[service.C])
    # One read transaction, so a claim or send by another process cannot split the task from its history.
    ctx.conn.execute("BEGIN")
    try:
        task = company_task(ctx.conn, company["id"], ctx.positional())
        proposals = ctx.conn.execute("SELECT * FROM proposals WHERE request_id = ? ORDER BY version_number, id",
                                     (task["id"],)).fetchall()
        decisions = ctx.conn.execute("SELECT * FROM decisions WHERE request_id = ? ORDER BY created_at, id",
                                     (task["id"],)).fetchall()
    finally:
        ctx.conn.execute("COMMIT")
    return {"request": receipt_json(task), "proposals": [proposal_json(r) for r in proposals],
            "decisions": [decision_json(r) for r in decisions]}
