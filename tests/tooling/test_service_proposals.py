import json
import unittest
from pathlib import Path

from standin_helpers import EDITOR_ID, StandinCase
from standin.seed import fixed_id

SERVICE, CLOUD, BRIDGE = "desktop_service.py", "desktop_cloud.py", "editor_bridge.py"
CONCEPT_TASK = fixed_id("request:7")  # concept development, active, claimed by the demo editor
FILM_TASK = fixed_id("request:1")  # film editing, active, claimed by the demo editor


class ProposalCase(StandinCase):
    needs_media = True

    def task(self, request_id):
        conn = self.conn()
        row = conn.execute("SELECT * FROM requests WHERE id = ?", (request_id,)).fetchone()
        conn.close()
        return row

    def restore(self, request_id):
        """The task's package in the project folder, as the pull leaves it."""
        task = self.task(request_id)
        if not any(p.name.startswith(task["local_project_id"]) for p in self.inbox.iterdir()):
            result = self.run_tool(CLOUD, "--credentials-file", "-", "--company", task["company_id"], "pull",
                                   task["backup_id"], "--inbox", str(self.inbox), session=self.session())
            self.assertEqual(result.code, 0, result.stderr)
        packages = self.run_tool(BRIDGE, "--inbox", str(self.inbox), "list").json()["packages"]
        return next(p for p in packages if p["projectID"] == task["local_project_id"])

    def prepare(self, request_id):
        package = self.restore(request_id)
        context = self.run_tool(BRIDGE, "--inbox", str(self.inbox), "context", package["packageID"]).json()
        writing = package["serviceRequest"]["kind"] != "filmEditing"
        extra = [] if writing else ["--context-revision", context["contextRevision"]]
        result = self.run_tool(BRIDGE, "--inbox", str(self.inbox), "prepare-writing" if writing else "prepare",
                               package["packageID"], "--fingerprint", package["fingerprint"], *extra)
        self.assertEqual(result.code, 0, result.stderr)
        return result.json()

    def service(self, *arguments, session=None):
        return self.run_tool(SERVICE, *arguments, session=session)

    def template(self, handoff, request_id=CONCEPT_TASK):
        return self.service("template", request_id, "--inbox", str(self.inbox), "--handoff-id", handoff["handoffID"])

    def preview(self, handoff, revision, request_id=CONCEPT_TASK):
        return self.service("preview", request_id, "--inbox", str(self.inbox), "--handoff-id", handoff["handoffID"],
                            "--revision", str(revision))

    def send(self, preview, revision=None, request_id=CONCEPT_TASK):
        task = self.task(request_id)
        return self.service("--expected-operator-id", EDITOR_ID, "--credentials-file", "-", "--company",
                            task["company_id"], "send", request_id, "--inbox", str(self.inbox), "--handoff-id",
                            preview["handoffID"], "--proposal-id", preview["proposalID"], "--content-hash",
                            preview["contentHash"], "--revision",
                            str(preview["expectedRevision"] if revision is None else revision),
                            "--confirm-send", session=self.session())

    def write_proposal(self, handoff, **changes):
        path = Path(self.template(handoff).json()["file"])
        option = dict(id="option-1", title="Værkstedet", rationale="Tæt på", idea="Håndværk", purpose="Kendskab",
                      audience="Naboer", angle="Personlig", message="", call_to_action="")
        content = dict(schemaVersion=1, kind="conceptDevelopment", title="Tre veje til historien",
                       body="Vi foreslår tre korte film.", open_questions=[], concept_options=[option],
                       script_sections=[], shots=[], sources=[])
        content.update(changes)
        path.write_text(json.dumps(content, ensure_ascii=False))
        return path


class ProposalTemplateTest(ProposalCase, unittest.TestCase):
    def test_template_is_written_once_and_only_for_a_writing_folder_of_the_task(self):
        handoff = self.prepare(CONCEPT_TASK)
        answer = self.template(handoff).json()
        path = Path(answer["file"])
        self.assertEqual(path.parent, Path(handoff["folder"], "work"))
        self.assertEqual(json.loads(path.read_text())["kind"], "conceptDevelopment")
        path.write_text("mine")
        self.assertEqual(self.template(handoff).code, 0)
        self.assertEqual(path.read_text(), "mine")
        film = self.prepare(FILM_TASK)
        for name, result in {"film folder": self.template(film, FILM_TASK),
                             "folder of another task": self.template(handoff, FILM_TASK)}.items():
            with self.subTest(name):
                self.assertNotEqual(result.code, 0)


class ProposalSendTest(ProposalCase, unittest.TestCase):
    def test_preview_refuses_a_proposal_that_cannot_be_sent(self):
        handoff = self.prepare(CONCEPT_TASK)
        self.template(handoff)
        self.assertIn("brødteksten", self.preview(handoff, 2).error())  # the untouched template
        rows = {
            "no options": dict(concept_options=[]),
            "script kind": dict(kind="scriptDevelopment"),
            "extra member": dict(video=None),
            "fractional shot": dict(shots=[{"id": "s", "title": "t", "instruction": "i", "kind": "bRoll",
                                            "duration_seconds": 1.5}]),
        }
        for name, changes in rows.items():
            with self.subTest(name):
                self.write_proposal(handoff, **changes)
                result = self.preview(handoff, 2)
                self.assertNotEqual(result.code, 0)
                self.assertIn("Forslagsfilen kan ikke bruges", result.error())

    def test_send_delivers_the_checked_content_once_and_recognises_a_replay(self):
        handoff = self.prepare(CONCEPT_TASK)
        self.write_proposal(handoff)
        before = self.task(CONCEPT_TASK)
        checked = self.preview(handoff, before["revision"]).json()
        self.assertEqual(checked["requestID"], CONCEPT_TASK)
        self.assertEqual(checked["expectedRevision"], before["revision"])
        self.assertEqual(self.preview(handoff, before["revision"]).json()["proposalID"], checked["proposalID"])

        sent = self.send(checked)
        self.assertEqual(sent.code, 0, sent.stderr)
        answer = sent.json()
        self.assertEqual((answer["proposalID"], answer["version"], answer["replayed"]), (checked["proposalID"], 1, False))
        self.assertEqual(answer["request"]["revision"], before["revision"] + 1)
        self.assertEqual(answer["request"]["status"], "review")
        self.assertEqual(answer["request"]["latest_proposal_id"], checked["proposalID"])
        conn = self.conn()
        stored = conn.execute("SELECT content FROM proposals WHERE id = ?", (checked["proposalID"],)).fetchone()
        conn.close()
        self.assertEqual(json.loads(stored["content"]), checked["content"])

        again = self.send(checked).json()  # the answer was lost; the same send is repeated
        self.assertEqual((again["version"], again["replayed"]), (1, True))
        self.assertEqual(self.task(CONCEPT_TASK)["revision"], before["revision"] + 1)

    def test_send_refusals(self):
        handoff = self.prepare(CONCEPT_TASK)
        path = self.write_proposal(handoff)
        revision = self.task(CONCEPT_TASK)["revision"]
        checked = self.preview(handoff, revision).json()
        with self.subTest("older revision"):
            self.assertIn("ændret", self.send(checked, revision=revision - 1).error())
        with self.subTest("other content hash"):
            self.assertNotEqual(self.send(dict(checked, contentHash="0" * 64)).code, 0)
        with self.subTest("file edited after the check still sends what was checked"):
            path.write_text(path.read_text().replace("tre korte", "fire lange"))
            self.assertEqual(self.send(checked).json()["replayed"], False)
        conn = self.conn()
        stored = json.loads(conn.execute("SELECT content FROM proposals WHERE id = ?",
                                         (checked["proposalID"],)).fetchone()["content"])
        conn.close()
        self.assertIn("tre korte", stored["body"])


if __name__ == "__main__":
    unittest.main()
