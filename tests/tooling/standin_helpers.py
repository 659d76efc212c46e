"""Shared fixtures: a private copy of the tools folder and runs of its scripts as the app runs them."""
import compileall
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

TOOLING = Path(__file__).resolve().parents[2] / "tooling"
sys.path.insert(0, str(TOOLING))

from standin import accounts, db, reset  # noqa: E402
from standin.paths import ToolsFolder  # noqa: E402
from standin.seed import EDITOR_ID, SECOND_EDITOR_ID  # noqa: E402

PYTHON = "/usr/bin/python3" if Path("/usr/bin/python3").exists() else sys.executable
TOOL_ENV = {"PATH": "/usr/bin:/bin:/opt/homebrew/bin:/usr/local/bin", "LANG": "en_US.UTF-8",
            "PYTHONIOENCODING": "utf-8"}


def copy_tools(target: Path) -> ToolsFolder:
    shutil.copytree(TOOLING, target, ignore=shutil.ignore_patterns("var", "__pycache__"))
    # The scripts run with -B, which only stops writing bytecode: compiled once here, every run reads it
    # instead of compiling the whole package again.
    compileall.compile_dir(str(target / "standin"), quiet=1)
    return ToolsFolder(target)


def capture(script, arguments, completed):
    """With TAVLON_ANSWER_CAPTURE naming a file, every answer is appended to it (scripts/fuzz-seeds)."""
    target = os.environ.get("TAVLON_ANSWER_CAPTURE")
    if not target:
        return
    with open(target, "a", encoding="utf-8") as log:
        log.write(json.dumps({"script": script, "arguments": list(arguments), "code": completed.returncode,
                              "stdout": completed.stdout.decode("utf-8", "replace"),
                              "stderr": completed.stderr.decode("utf-8", "replace")}) + "\n")


class ToolResult:
    def __init__(self, completed):
        self.code = completed.returncode
        self.stdout = completed.stdout
        self.stderr = completed.stderr

    def json(self):
        return json.loads(self.stdout)

    def error(self):
        return json.loads(self.stderr)["error"]


class StandinCase:
    """Mixin: one tools folder per test class (media made once), database reset before each test."""

    tools = None

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="standin-")
        cls.tools = copy_tools(Path(cls.tmp.name) / "tooling")
        reset.reset(cls.tools, with_media=getattr(cls, "needs_media", False))

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def setUp(self):
        reset.reset(self.tools, with_media=False)
        self.inbox = Path(tempfile.mkdtemp(prefix="inbox-", dir=self.tmp.name))

    def conn(self):
        return db.connect(self.tools.database)

    def session(self, user_id=EDITOR_ID, lifetime=3600, kind="password"):
        conn = self.conn()
        with db.transaction(conn):
            pair = accounts.issue_session(conn, user_id, kind, lifetime)
        conn.close()
        return {"access_token": pair["access_token"], "user_id": user_id, "expires_at": pair["expires_at"]}

    def run_tool(self, script, *arguments, session=None, stdin=None, timeout=60):
        if session is not None:
            stdin = json.dumps(session).encode()
        completed = subprocess.run(
            [PYTHON, "-B", str(self.tools.root / "tools/postproduction" / script), *arguments],
            input=stdin if stdin is not None else None,
            stdin=None if stdin is not None else subprocess.DEVNULL,
            capture_output=True, cwd=self.tools.root, env=TOOL_ENV, timeout=timeout)
        capture(script, arguments, completed)
        return ToolResult(completed)

    def write_scenario(self, commands):
        self.tools.scenario.write_text(json.dumps({"commands": commands}))

    def runs(self):
        return [json.loads(line) for line in self.tools.runs.read_text().splitlines()]


def wait_for(predicate, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.05)
    return False


__all__ = ["StandinCase", "copy_tools", "EDITOR_ID", "SECOND_EDITOR_ID", "PYTHON", "wait_for", "os"]
