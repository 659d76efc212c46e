"""The customer's side of the demo service, for tests and demos:

    customer.py --tools-folder DIR decide REQUEST --proposal-id ID --decision approve|request_changes [--comment TEXT]
                [--reaction]
    customer.py --tools-folder DIR amend REQUEST

decide records the customer's decision on a sent version (the task moves to "approved" or
"changes_requested"), with --reaction also a recorded reaction to it (the demo clip and two timed
comments); amend revises the task's instructions (its revision moves on by one)."""
import json
import sys
import time
import uuid
from pathlib import Path

if __package__ in (None, ""):
    sys.path.insert(0, str(Path(__file__).resolve().parent.parent))
    __package__ = "standin"

from standin import db, seed  # noqa: E402
from standin.args import ArgumentError, parse_exact  # noqa: E402
from standin.errors import ToolError  # noqa: E402
from standin.paths import ToolsFolder  # noqa: E402

STATUS_AFTER = {"approve": "approved", "request_changes": "changes_requested"}


def _stamp() -> str:
    return time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime())


def amend(conn, request_id: str) -> None:
    """The customer amends the instructions, as the service records it: the revision moves by one."""
    from . import briefs
    with db.transaction(conn):
        task = conn.execute("SELECT * FROM requests WHERE id = ?", (request_id,)).fetchone()
        if task is None:
            raise ToolError("Opgaven findes ikke.")
        briefs.amend(conn, task["id"], task["instructions"] + " Vis logoet allerede efter 10 sekunder.",
                     "Kunden har ændret ønsket.", task["submitted_by"], _stamp())


def decide(conn, request_id: str, proposal_id: str, decision: str, comment: str = "", reaction: bool = False) -> str:
    if decision not in STATUS_AFTER:
        raise ToolError("Beslutningen skal være approve eller request_changes.")
    decision_id = str(uuid.uuid4())
    with db.transaction(conn):
        proposal = conn.execute("SELECT * FROM proposals WHERE id = ? AND request_id = ?",
                                (proposal_id, request_id)).fetchone()
        if proposal is None:
            raise ToolError("Forslaget findes ikke på opgaven.")
        stamp = _stamp()
        conn.execute("INSERT INTO decisions (id, request_id, proposal_id, decision, comment, created_at,"
                     " selected_option_id) VALUES (?, ?, ?, ?, ?, ?, NULL)",
                     (decision_id, request_id, proposal_id, decision, comment, stamp))
        conn.execute("UPDATE requests SET status = ?, revision = revision + 1, updated_at = ? WHERE id = ?",
                     (STATUS_AFTER[decision], stamp, request_id))
        if reaction:
            from . import demo
            conn.execute("INSERT INTO reactions (id, request_id, decision_id, media_file, annotations, created_at)"
                         " VALUES (?, ?, ?, ?, ?, ?)",
                         (str(uuid.uuid4()), request_id, decision_id, "reaction.mp4",
                          json.dumps(demo.reaction_annotations(0, proposal["version_number"])), stamp))
    return decision_id


def main(argv=None):
    try:
        options = parse_exact(argv if argv is not None else sys.argv[1:],
                              values={"--tools-folder", "--proposal-id", "--decision", "--comment"},
                              flags={"--reaction"},
                              commands={"decide": 1, "amend": 1})
        if options.command is None or "--tools-folder" not in options:
            raise ArgumentError("brug: customer.py --tools-folder DIR decide|amend REQUEST …")
    except ArgumentError as error:
        print("customer: %s" % error, file=sys.stderr)
        return 2
    tools = ToolsFolder(options["--tools-folder"])
    seed.ensure_seeded(tools)
    conn = db.connect(tools.database)
    try:
        if options.command == "amend":
            amend(conn, options.positionals[0])
            print(json.dumps({"requestID": options.positionals[0]}))
        else:
            decision_id = decide(conn, options.positionals[0], options.get("--proposal-id", ""),
                                 options.get("--decision", ""), options.get("--comment", ""),
                                 "--reaction" in options)
            print(json.dumps({"decisionID": decision_id}))
    except ToolError as error:
        print("customer: %s" % error.message, file=sys.stderr)
        return 1
    finally:
        conn.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
