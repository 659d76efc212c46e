"""A local MCP server over standard input and output (JSON-RPC 2.0, one message per line).

Usage: mcp_server.py --tools-folder DIR --inbox PROJECT_FOLDER

An AI desktop client starts it from the definition that editor_connection.py hands out. It offers
tools over the project folder: its tasks and packages, a task's brief, sources and kept review
history, the media paths and working folders of a task, its prepared hand-offs, and one writing tool,
request_video_review, which freezes an export as a video draft for the editor to review and send from
the application (the start message the application hands out names these tools). It ends when its
input ends.
"""
import json
import sys
from pathlib import Path

if __package__ in (None, ""):
    sys.path.insert(0, str(Path(__file__).resolve().parent.parent))
    __package__ = "standin"

from standin import packages  # noqa: E402
from standin.errors import ToolError  # noqa: E402
from standin.paths import inside, listed_inside, read_inside  # noqa: E402

SERVER_NAME = "tavlon-film-editor"
SERVER_VERSION = "1.0.0"
PROTOCOL_VERSION = "2025-06-18"
MAX_LINE = 1 << 20

TOOLS = [
    {"name": "list_packages",
     "description": "The verified packages in the project folder: id, title, file counts and the task kind.",
     "inputSchema": {"type": "object", "properties": {}, "additionalProperties": False}},
    {"name": "read_package",
     "description": "One package's master prompt, current brief and source candidates.",
     "inputSchema": {"type": "object", "properties": {"packageID": {"type": "string"}},
                     "required": ["packageID"], "additionalProperties": False}},
    {"name": "list_handoffs",
     "description": "The edit hand-offs prepared in the project folder, newest first.",
     "inputSchema": {"type": "object", "properties": {}, "additionalProperties": False}},
    {"name": "list_local_tasks",
     "description": "The service tasks pulled into the project folder: request id, package, title, kind, "
                    "revision, status and their working folders.",
     "inputSchema": {"type": "object", "properties": {}, "additionalProperties": False}},
    {"name": "read_context",
     "description": "A task's whole context: master prompt, current brief, source candidates and the kept "
                    "review history (earlier versions and the customer's decisions).",
     "inputSchema": {"type": "object", "properties": {"requestID": {"type": "string"}},
                     "required": ["requestID"], "additionalProperties": False}},
    {"name": "get_editor_files",
     "description": "The concrete media paths of a task's approved sources, the files the customer left out, "
                    "its film folder and working folders, and where to save an export.",
     "inputSchema": {"type": "object", "properties": {"requestID": {"type": "string"}},
                     "required": ["requestID"], "additionalProperties": False}},
    {"name": "request_video_review",
     "description": "Freezes an export from a working folder's exports folder as a video draft with a title "
                    "and your comment. Nothing is sent: the editor reviews the draft and sends it.",
     "inputSchema": {"type": "object",
                     "properties": {"requestID": {"type": "string"}, "file": {"type": "string"},
                                    "title": {"type": "string"}, "comment": {"type": "string"},
                                    "editor": {"type": "string"}},
                     "required": ["requestID", "file", "title", "comment"], "additionalProperties": False}},
]
EXPORTS = "exports"
HISTORY_FOLDER = "service-history"
AI_EDITOR = "AI-assistent"


class CallError(Exception):
    pass


def list_packages(inbox: Path, _arguments):
    found = []
    for folder in packages.package_folders(inbox):
        try:
            found.append(packages.summary(packages.load(folder, check_files=False)))
        except packages.InvalidPackage:
            continue
    return {"packages": found}


def read_package(inbox: Path, arguments):
    wanted = arguments.get("packageID")
    if not isinstance(wanted, str) or not wanted:
        raise CallError("packageID is required")
    for folder in packages.package_folders(inbox):
        try:
            manifest = packages.load(folder, check_files=False)
        except packages.InvalidPackage:
            continue
        if manifest["packageID"] == wanted:
            return {"packageID": wanted, "title": manifest["title"], "masterprompt": manifest["masterprompt"],
                    "currentBrief": manifest.get("currentBrief"), "candidates": manifest.get("candidates", [])}
    raise CallError("no package %s in the project folder" % wanted)


def handoff_records(inbox: Path):
    """(folder, record) of every hand-off of the project folder, newest first."""
    root = inbox / packages.HANDOFFS
    found = []
    if root.is_dir() and listed_inside(inbox, root):
        for record in root.glob("*/handoff.json"):
            # A record (or its folder) that is a link may show anything of this computer: not listed.
            if not listed_inside(root, record.parent) or record.is_symlink():
                continue
            try:
                handoff = json.loads(record.read_text(encoding="utf-8"))
            except (OSError, ValueError):
                continue
            if isinstance(handoff, dict):
                found.append((record.parent, handoff))
    found.sort(key=lambda pair: str(pair[1].get("createdAt") or ""), reverse=True)
    return found


def list_handoffs(inbox: Path, _arguments):
    return {"handoffs": [{k: handoff.get(k) for k in ("handoffID", "title", "packageID", "folder", "createdAt")}
                         for _, handoff in handoff_records(inbox)]}


def request_of(manifest: dict):
    return manifest.get("requestID") or (manifest.get("currentBrief") or {}).get("requestID")


def task_packages(inbox: Path):
    """(folder, manifest, receipt or None) of every package pulled for a task."""
    for folder in packages.package_folders(inbox):
        try:
            manifest = packages.load(folder, check_files=False)
        except packages.InvalidPackage:
            continue
        if not isinstance(request_of(manifest), str):
            continue
        try:
            receipt = json.loads(read_inside(folder, "service-request.json"))
        except (OSError, ValueError, ToolError):
            receipt = None
        yield folder, manifest, receipt if isinstance(receipt, dict) else None


def task_package(inbox: Path, arguments):
    wanted = arguments.get("requestID")
    if not isinstance(wanted, str) or not wanted:
        raise CallError("requestID is required")
    for folder, manifest, receipt in task_packages(inbox):
        if request_of(manifest) == wanted:
            return folder, manifest, receipt
    raise CallError("no task %s is pulled into the project folder" % wanted)


def revision_of(manifest: dict, receipt):
    if receipt is not None and isinstance(receipt.get("revision"), int):
        return receipt["revision"]
    revision = (manifest.get("currentBrief") or {}).get("requestRevision")
    return revision if isinstance(revision, int) else None


def task_handoffs(inbox: Path, request_id: str):
    return [(folder, handoff) for folder, handoff in handoff_records(inbox) if handoff.get("requestID") == request_id]


def list_local_tasks(inbox: Path, _arguments):
    found = []
    for folder, manifest, receipt in task_packages(inbox):
        request_id = request_of(manifest)
        found.append({"requestID": request_id, "packageID": manifest["packageID"], "title": manifest["title"],
                      "kind": (manifest.get("serviceRequest") or {}).get("kind"),
                      "revision": revision_of(manifest, receipt), "status": (receipt or {}).get("status"),
                      "handoffs": [h.get("handoffID") for _, h in task_handoffs(inbox, request_id)]})
    found.sort(key=lambda task: (task["title"].casefold(), task["requestID"]))
    return {"tasks": found}


def read_context(inbox: Path, arguments):
    folder, manifest, receipt = task_package(inbox, arguments)
    request_id = request_of(manifest)
    try:
        history = json.loads(read_inside(inbox, HISTORY_FOLDER, "%s.json" % request_id))
    except (OSError, ValueError, ToolError):
        history = None  # not kept yet: the editor refreshes the history in the application
    return {"requestID": request_id, "packageID": manifest["packageID"], "title": manifest["title"],
            "revision": revision_of(manifest, receipt), "serviceRequest": manifest.get("serviceRequest"),
            "masterprompt": manifest["masterprompt"], "currentBrief": manifest.get("currentBrief"),
            "candidates": manifest.get("candidates", []), "reviewHistory": history}


def get_editor_files(inbox: Path, arguments):
    folder, manifest, _ = task_package(inbox, arguments)
    request_id = request_of(manifest)
    sources, left_out = [], []
    for entry in manifest["files"]:
        if entry["role"] == "rejected":
            left_out.append(entry["path"])  # the customer's choice: not to be used
            continue
        try:
            path = packages.safe_member(folder, entry["path"])
        except packages.InvalidPackage:
            continue
        sources.append({"path": entry["path"], "file": str(path.resolve()), "role": entry["role"],
                        "mediaKind": entry.get("mediaKind"), "sha256": entry.get("sha256")})
    film = inbox / ("film-%s" % request_id)
    handoffs = [{"handoffID": h.get("handoffID"), "folder": str(f.resolve()), "fcpxml": h.get("fcpxml"),
                 "exportsFolder": str(f.resolve() / EXPORTS)} for f, h in task_handoffs(inbox, request_id)]
    return {"requestID": request_id, "packageID": manifest["packageID"], "sources": sources, "leftOut": left_out,
            "filmFolder": str(film.resolve()) if film.is_dir() and listed_inside(inbox, film) else None,
            "handoffs": handoffs, "exportsFolder": handoffs[0]["exportsFolder"] if handoffs else None}


def request_video_review(inbox: Path, arguments):
    from standin import drafts  # only here: it brings the tools' command modules along
    folder, manifest, receipt = task_package(inbox, arguments)
    request_id = request_of(manifest)
    if (manifest.get("serviceRequest") or {}).get("kind", "filmEditing") != "filmEditing":
        raise CallError("only film editing tasks take a video")
    texts = {key: arguments.get(key, AI_EDITOR if key == "editor" else None)
             for key in ("file", "title", "comment", "editor")}
    if not all(isinstance(value, str) and value.strip() for value in texts.values()):
        raise CallError("file, title and comment are required")
    revision = revision_of(manifest, receipt)
    if revision is None:
        raise CallError("the task's revision is unknown: pull the task again")
    wanted = Path(texts["file"])
    for handoff_folder, _ in task_handoffs(inbox, request_id):
        exports = (handoff_folder / EXPORTS).resolve()
        absolute = wanted if wanted.is_absolute() else exports / wanted
        if not absolute.resolve().is_relative_to(exports):
            continue
        try:
            video = inside(handoff_folder, EXPORTS, *absolute.resolve().relative_to(exports).parts)
            draft = drafts.prepare(inbox, request_id, video.resolve(), revision, texts["title"], texts["comment"],
                                   texts["editor"])
        except ToolError as failure:
            raise CallError(failure.message)
        return {key: draft[key] for key in ("proposalID", "requestID", "file", "notice", "expectedRevision")}
    raise CallError("save the export in the exports folder of one of the task's working folders first")


HANDLERS = {"list_packages": list_packages, "read_package": read_package, "list_handoffs": list_handoffs,
            "list_local_tasks": list_local_tasks, "read_context": read_context, "get_editor_files": get_editor_files,
            "request_video_review": request_video_review}


def answer(message, inbox: Path):
    """The response to one request, or None for a notification."""
    if not isinstance(message, dict) or message.get("jsonrpc") != "2.0" or not isinstance(message.get("method"), str):
        return error(message.get("id") if isinstance(message, dict) else None, -32600, "Invalid Request")
    if "id" not in message:
        return None  # notifications (notifications/initialized, …) need no answer
    ident, method, params = message["id"], message["method"], message.get("params") or {}
    if not isinstance(params, dict):
        return error(ident, -32602, "Invalid params")
    if method == "initialize":
        return result(ident, {"protocolVersion": PROTOCOL_VERSION,
                              "capabilities": {"tools": {"listChanged": False}},
                              "serverInfo": {"name": SERVER_NAME, "version": SERVER_VERSION}})
    if method == "ping":
        return result(ident, {})
    if method == "tools/list":
        return result(ident, {"tools": TOOLS})
    if method == "tools/call":
        handler = HANDLERS.get(params.get("name"))
        if handler is None:
            return error(ident, -32602, "Unknown tool")
        arguments = params.get("arguments") or {}
        try:
            if not isinstance(arguments, dict):
                raise CallError("arguments must be an object")
            if not inbox.is_dir():
                raise CallError("the project folder is missing")
            content = json.dumps(handler(inbox, arguments), ensure_ascii=False)
            return result(ident, {"content": [{"type": "text", "text": content}], "isError": False})
        except CallError as failure:
            return result(ident, {"content": [{"type": "text", "text": str(failure)}], "isError": True})
    return error(ident, -32601, "Method not found")


def result(ident, value):
    return {"jsonrpc": "2.0", "id": ident, "result": value}


def error(ident, code, text):
    return {"jsonrpc": "2.0", "id": ident, "error": {"code": code, "message": text}}


def lines(reader, limit=MAX_LINE):
    """The input's lines (bytes), none longer than limit; a longer one is read past in pieces of at
    most limit bytes and given as None, so one huge line never sits in memory whole."""
    while True:
        line = reader.readline(limit + 1)
        if not line:
            return
        if len(line) > limit:
            while not line.endswith(b"\n"):
                line = reader.readline(limit + 1)
                if not line:
                    break
            yield None
            continue
        yield line


def serve(reader, writer, inbox: Path):
    """Answers every message of the binary stream reader on the text stream writer."""
    for raw in lines(reader):
        if raw is None:
            reply = error(None, -32700, "Message too large")
        elif not raw.strip():
            continue
        else:
            try:
                reply = answer(json.loads(raw.decode("utf-8", errors="replace")), inbox)
            except (ValueError, RecursionError):
                reply = error(None, -32700, "Parse error")
        if reply is not None:
            writer.write(json.dumps(reply, ensure_ascii=False) + "\n")
            writer.flush()


def main(argv=None):
    from standin.args import parse_exact, ArgumentError
    try:
        options = parse_exact(argv if argv is not None else sys.argv[1:], values={"--tools-folder", "--inbox"})
        if not options.get("--inbox"):
            raise ArgumentError("--inbox is required")
        inbox = Path(options.get("--inbox"))
    except ArgumentError as failure:
        print("mcp_server: %s" % failure, file=sys.stderr)
        return 2
    reader = open(sys.stdin.fileno(), "rb", closefd=False)
    serve(reader, sys.stdout, inbox)
    return 0


if __name__ == "__main__":
    sys.exit(main())
