"""A local MCP server over standard input and output (JSON-RPC 2.0, one message per line).

Usage: mcp_server.py --tools-folder DIR --inbox PROJECT_FOLDER

An AI desktop client starts it from the definition that editor_connection.py hands out. It offers a
few read-only tools over the project folder: its packages, one package's brief and sources, and its
prepared hand-offs. It ends when its input ends.
"""
import json
import sys
from pathlib import Path

if __package__ in (None, ""):
    sys.path.insert(0, str(Path(__file__).resolve().parent.parent))
    __package__ = "standin"

from standin import packages  # noqa: E402
from standin.paths import listed_inside  # noqa: E402

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
]


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


def list_handoffs(inbox: Path, _arguments):
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
                found.append({k: handoff.get(k) for k in ("handoffID", "title", "packageID", "folder", "createdAt")})
    found.sort(key=lambda h: h.get("createdAt") or "", reverse=True)
    return {"handoffs": found}


HANDLERS = {"list_packages": list_packages, "read_package": read_package, "list_handoffs": list_handoffs}


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
