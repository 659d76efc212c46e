"""editor_connection.py: the definition of the local MCP server for a project folder, and a real check
of that server (started as the AI client would start it: initialize, then tools/list)."""
import json
import subprocess
import sys
from pathlib import Path

from .. import mcp_server
from ..errors import ToolError
from ..tool import command

CHECK_TIMEOUT = 10


TOML_ESCAPES = {'"': '\\"', "\\": "\\\\", "\b": "\\b", "\t": "\\t", "\n": "\\n", "\f": "\\f", "\r": "\\r"}


def toml_string(text: str) -> str:
    """A TOML basic string. Characters are written as themselves (UTF-8); only the quote, the backslash
    and control characters are escaped. (JSON's escapes are not TOML's: a character outside the Basic
    Multilingual Plane becomes a surrogate pair, which TOML refuses.)"""
    def escaped(character):
        if character in TOML_ESCAPES:
            return TOML_ESCAPES[character]
        if ord(character) < 0x20 or ord(character) == 0x7F:
            return "\\u%04X" % ord(character)
        return character
    return '"%s"' % "".join(escaped(c) for c in text)


def definition(tools, inbox: str):
    arguments = ["-B", str(tools.root / "standin" / "mcp_server.py"), "--tools-folder", str(tools.root),
                 "--inbox", inbox]
    toml = "[mcp_servers.%s]\ncommand = %s\nargs = [%s]\n" % (
        mcp_server.SERVER_NAME, toml_string(sys.executable), ", ".join(toml_string(a) for a in arguments))
    return {"name": mcp_server.SERVER_NAME, "command": sys.executable, "arguments": arguments, "inbox": inbox,
            "toml": toml}


def check(command_line, inbox: Path):
    """Starts the server, initializes it and lists its tools; the check record."""
    if not inbox.is_dir():
        return {"state": "missingInbox", "toolCount": 0}
    requests = [
        {"jsonrpc": "2.0", "id": 1, "method": "initialize",
         "params": {"protocolVersion": mcp_server.PROTOCOL_VERSION, "capabilities": {},
                    "clientInfo": {"name": "tavlon-connection-check", "version": "1"}}},
        {"jsonrpc": "2.0", "method": "notifications/initialized"},
        {"jsonrpc": "2.0", "id": 2, "method": "tools/list"},
    ]
    text = "".join(json.dumps(r) + "\n" for r in requests)
    try:
        process = subprocess.Popen(command_line, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, text=True, encoding="utf-8")
    except OSError:
        return {"state": "failed", "toolCount": 0}
    try:
        output, _ = process.communicate(text, timeout=CHECK_TIMEOUT)
    except subprocess.TimeoutExpired:
        process.kill()
        process.communicate()
        return {"state": "timeout", "toolCount": 0}
    replies = {}
    for line in output.splitlines():
        try:
            reply = json.loads(line)
        except ValueError:
            continue
        if isinstance(reply, dict) and "id" in reply:
            replies[reply["id"]] = reply.get("result")
    initialized, listed = replies.get(1), replies.get(2)
    if not isinstance(initialized, dict) or not isinstance(listed, dict) or not isinstance(listed.get("tools"), list):
        return {"state": "failed", "toolCount": 0}
    server = initialized.get("serverInfo") if isinstance(initialized.get("serverInfo"), dict) else {}
    return {"state": "ready", "toolCount": len(listed["tools"]), "serverName": server.get("name"),
            "serverVersion": server.get("version"), "protocolVersion": initialized.get("protocolVersion")}


@command("editor_connection.py", "mcpConnection", None, values={"--inbox"}, required={"--inbox"},
         order="--inbox".split())
def mcp_connection(ctx):
    inbox = ctx.args["--inbox"]
    if not Path(inbox).is_absolute():
        raise ToolError("Projektmappen findes ikke. Vælg den igen.")
    answer = definition(ctx.tools, inbox)
    answer["check"] = check([answer["command"], *answer["arguments"]], Path(inbox))
    return answer
