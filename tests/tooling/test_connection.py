"""editor_connection.py and the MCP server its definition starts."""
import json
import os
import shutil
import subprocess
import tempfile
import threading
import re
import tomllib
import unittest
from pathlib import Path

from standin_helpers import StandinCase
from test_service_proposals import FILM_TASK, ProposalCase

CONNECTION = "editor_connection.py"
SOURCE = Path(__file__).resolve().parents[2] / "src"


def server_tools(definition):
    """The names the server answers tools/list with."""
    completed = subprocess.run([definition["command"], *definition["arguments"]],
                               input='{"jsonrpc":"2.0","id":1,"method":"tools/list"}\n', capture_output=True,
                               text=True, timeout=30)
    return {tool["name"] for tool in json.loads(completed.stdout)["result"]["tools"]}


class ConnectionTest(StandinCase, unittest.TestCase):
    def test_definition_and_check_by_project_folder(self):
        rows = [
            ("an existing folder", str(self.inbox), 0, "ready"),
            ("a folder whose disk is gone", str(Path(self.tmp.name) / "unplugged" / "Kunde"), 0, "missingInbox"),
            ("a relative folder", "Kunde", 1, None),
            ("a folder named beyond the Basic Multilingual Plane", str(self.inbox / "Kunde 🎬 \"A\\B\""), 0,
             "ready"),
        ]
        (self.inbox / "Kunde 🎬 \"A\\B\"").mkdir()
        for name, inbox, code, state in rows:
            with self.subTest(name):
                result = self.run_tool(CONNECTION, "--inbox", inbox)
                self.assertEqual(result.code, code, result.stderr)
                if state is None:
                    self.assertTrue(result.error())
                    continue
                answer = result.json()
                self.assertEqual(answer["check"]["state"], state)
                self.assertEqual(answer["inbox"], inbox)
                self.assertIn("[mcp_servers.tavlon-film-editor]", answer["toml"])
                # The configuration text is TOML that gives back exactly the definition's fields.
                configured = tomllib.loads(answer["toml"])["mcp_servers"]["tavlon-film-editor"]
                self.assertEqual(configured, {"command": answer["command"], "args": answer["arguments"]})
                self.assertEqual(configured["args"][-1], inbox)

    def test_server_answers_json_rpc(self):
        definition = self.run_tool(CONNECTION, "--inbox", str(self.inbox)).json()
        messages = [
            '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2024-11-05"}}',
            '{"jsonrpc":"2.0","method":"notifications/initialized"}',
            "not json",
            '[' * 5000 + ']' * 5000,
            '{"jsonrpc":"2.0","id":2,"method":"resources/list"}',
            '{"jsonrpc":"2.0","id":3,"method":"tools/call","params":{"name":"read_package","arguments":{}}}',
            '{"jsonrpc":"2.0","id":4,"method":"tools/call","params":{"name":"delete_everything"}}',
            '{"jsonrpc":"2.0","id":5,"method":"tools/call","params":{"name":"list_handoffs","arguments":{}}}',
        ]
        completed = subprocess.run([definition["command"], *definition["arguments"]], input="\n".join(messages) + "\n",
                                   capture_output=True, text=True, timeout=30)
        replies = [json.loads(line) for line in completed.stdout.splitlines()]
        summary = [(r.get("id"), r.get("error", {}).get("code"), (r.get("result") or {}).get("isError"))
                   for r in replies]
        self.assertEqual(summary, [(1, None, None), (None, -32700, None), (None, -32700, None), (2, -32601, None),
                                   (3, None, True), (4, -32602, None), (5, None, False)])
        # The server speaks its own protocol version whatever the client asked for.
        self.assertEqual(replies[0]["result"]["protocolVersion"], "2025-06-18")
        self.assertEqual(json.loads(replies[-1]["result"]["content"][0]["text"]), {"handoffs": []})

    def test_server_bounds_what_it_reads(self):
        definition = self.run_tool(CONNECTION, "--inbox", str(self.inbox)).json()
        outside = Path(tempfile.mkdtemp(dir=self.tmp.name)) / "handoff.json"
        outside.write_text(json.dumps({"handoffID": "from-elsewhere", "createdAt": "2026-01-01"}))
        (self.inbox / "handoffs" / "edit-1").mkdir(parents=True)
        os.symlink(outside, self.inbox / "handoffs" / "edit-1" / "handoff.json")
        huge = 64 << 20  # one line, far over the server's limit
        process = subprocess.Popen([definition["command"], *definition["arguments"]], stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

        def feed():
            try:
                block = b"x" * (1 << 20)
                for _ in range(huge // len(block)):
                    process.stdin.write(block)
                process.stdin.write(b'\n{"jsonrpc":"2.0","id":1,"method":"tools/call",'
                                    b'"params":{"name":"list_handoffs","arguments":{}}}\n')
                process.stdin.flush()
            except OSError:
                pass  # the server has gone: its missing answers tell

        feeder = threading.Thread(target=feed)
        feeder.start()
        try:
            output = process.stdout.readline() + process.stdout.readline()
            # The server's own peak (the high-water mark of its memory since it started).
            status = Path("/proc/%d/status" % process.pid).read_text()
            peak = int(re.search(r"^VmHWM:\s+(\d+) kB", status, re.M).group(1)) * 1024
        finally:
            feeder.join(timeout=60)
            process.stdin.close()
            process.wait(timeout=30)
            process.stdout.close()
        replies = [json.loads(line) for line in output.splitlines()]
        self.assertEqual([(r.get("id"), r.get("error", {}).get("code")) for r in replies], [(None, -32700), (1, None)])
        # A link at a hand-off's record is not listed: it may show anything of this computer.
        self.assertEqual(json.loads(replies[1]["result"]["content"][0]["text"]), {"handoffs": []})
        # The huge line never sat in memory whole.
        self.assertLess(peak, huge // 2)


class StartMessageToolsTest(ProposalCase, unittest.TestCase):
    def test_the_tools_the_start_message_names_are_offered_and_lead_to_a_draft(self):
        definition = self.run_tool(CONNECTION, "--inbox", str(self.inbox)).json()
        named = set()
        for language in ("da", "en"):
            table = json.loads((SOURCE / "aiconnection" / ("translations.%s.json" % language)).read_text())
            for key, text in table.items():
                if key.startswith("Brug Tavlon MCP:"):
                    named |= set(re.findall(r"\b[a-z]+(?:_[a-z]+)+\b", key + " " + text))
        self.assertEqual(named, {"list_local_tasks", "read_context", "get_editor_files", "request_video_review"})
        self.assertLessEqual(named, server_tools(definition))

        # Followed as the message says: the pulled task, its context, its files, a working folder's
        # export frozen as a draft that the editor then finds among the drafts to review and send.
        task = self.task(FILM_TASK)
        pulled = self.service("--credentials-file", "-", "--company", task["company_id"], "pull", FILM_TASK,
                              "--inbox", str(self.inbox), session=self.session())
        self.assertEqual(pulled.code, 0, pulled.stderr)
        handoff = self.prepare(FILM_TASK)
        exports = Path(handoff["folder"]) / "exports"
        exports.mkdir()
        shutil.copyfile(self.tools.media / "export-klip-2.mp4", exports / "klip.mp4")
        calls = [("list_local_tasks", {}), ("read_context", {"requestID": FILM_TASK}),
                 ("get_editor_files", {"requestID": FILM_TASK}),
                 ("request_video_review", {"requestID": FILM_TASK, "file": "klip.mp4", "title": "Klip 2",
                                           "comment": "Logoet kommer efter 10 sekunder."})]
        messages = "".join(json.dumps({"jsonrpc": "2.0", "id": index, "method": "tools/call",
                                       "params": {"name": name, "arguments": arguments}}) + "\n"
                           for index, (name, arguments) in enumerate(calls))
        completed = subprocess.run([definition["command"], *definition["arguments"]], input=messages,
                                   capture_output=True, text=True, timeout=60)
        results = [json.loads(line)["result"] for line in completed.stdout.splitlines()]
        self.assertEqual([r["isError"] for r in results], [False] * 4, completed.stdout)
        tasks, context, files, draft = (json.loads(r["content"][0]["text"]) for r in results)
        self.assertIn((FILM_TASK, task["revision"], [handoff["handoffID"]]),
                      [(t["requestID"], t["revision"], t["handoffs"]) for t in tasks["tasks"]])
        self.assertEqual((context["requestID"], context["revision"]), (FILM_TASK, task["revision"]))
        self.assertEqual(files["exportsFolder"], str(exports.resolve()))
        self.assertTrue(files["sources"] and all(Path(source["file"]).is_file() for source in files["sources"]))
        pending = self.run_tool("desktop_video.py", "pending", FILM_TASK, "--inbox", str(self.inbox)).json()
        self.assertEqual([(p["proposalID"], p["content"]["body"]) for p in pending["previews"]],
                         [(draft["proposalID"], "Logoet kommer efter 10 sekunder.")])


if __name__ == "__main__":
    unittest.main()
