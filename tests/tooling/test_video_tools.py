import json
import subprocess
import unittest
from pathlib import Path

from standin_helpers import EDITOR_ID, PYTHON, SECOND_EDITOR_ID, StandinCase
from standin.seed import fixed_id

VIDEO, PROJECTS = "desktop_video.py", "desktop_projects.py"
ACTIVE_FILM = fixed_id("request:1")      # film editing, active, claimed by the demo editor
WRITING = fixed_id("request:7")          # concept development, active
COMPANY = fixed_id("company:0")


class VideoToolCase(StandinCase):
    needs_media = True

    def export(self):
        return str(self.tools.media / "export-klip-2.mp4")

    def prepare(self, request=ACTIVE_FILM, video=None, label="Klip 2"):
        return self.run_tool(VIDEO, "prepare", request, "--inbox", str(self.inbox), "--video", video or self.export(),
                             "--revision", "2", "--label", label, "--summary", "Logo før", "--editor", "Lea")

    def send(self, proposal, session=None):
        return self.run_tool(VIDEO, "send", ACTIVE_FILM, "--inbox", str(self.inbox), "--credentials-file", "-",
                             "--company", COMPANY, "--proposal-id", proposal, "--qc-confirmed", "--confirm-send",
                             session=session or self.session())

    def status(self, proposal):
        result = self.run_tool(VIDEO, "status", ACTIVE_FILM, "--inbox", str(self.inbox), "--proposal-id", proposal)
        self.assertEqual(result.code, 0, result.stderr)
        return result.json()

    def pending(self):
        result = self.run_tool(VIDEO, "pending", ACTIVE_FILM, "--inbox", str(self.inbox))
        self.assertEqual(result.code, 0, result.stderr)
        return [draft["proposalID"] for draft in result.json()["previews"]]

    def customer(self, *arguments):
        subprocess.run([PYTHON, str(self.tools.root / "standin/customer.py"), "--tools-folder", str(self.tools.root),
                        *arguments], check=True, capture_output=True)


class VideoDraftTest(VideoToolCase, unittest.TestCase):
    def test_a_draft_is_prepared_sent_confirmed_and_decided(self):
        draft = self.prepare().json()
        self.assertEqual(set(draft), {"proposalID", "requestID", "exportID", "file", "notice", "expectedRevision",
                                      "content"})
        frozen = Path(draft["file"])
        self.assertTrue(frozen.is_file() and frozen.is_relative_to(self.inbox))
        video = draft["content"]["video"]
        self.assertEqual(video["byte_count"], frozen.stat().st_size)
        self.assertAlmostEqual(video["duration_seconds"], 5.0, delta=0.2)
        self.assertEqual((draft["requestID"], draft["expectedRevision"]), (ACTIVE_FILM, 2))
        second = self.prepare(label="Klip 3").json()
        self.assertEqual(self.pending(), [draft["proposalID"], second["proposalID"]])
        self.assertEqual(self.status(draft["proposalID"]),
                         {"proposalID": draft["proposalID"], "state": "notConfirmedLocally", "version": None,
                          "customerApproved": False})

        sent = self.send(draft["proposalID"])
        self.assertEqual(sent.code, 0, sent.stderr)
        answer = sent.json()
        self.assertEqual((answer["proposalID"], answer["version"], answer["replayed"]), (draft["proposalID"], 1, False))
        self.assertEqual((answer["request"]["status"], answer["request"]["revision"]), ("review", 3))
        self.assertEqual(self.pending(), [second["proposalID"]])
        self.assertEqual(self.status(draft["proposalID"])["state"], "sentForCustomerReview")
        # The sent version is what the customer reviews: its review download finds it, verified.
        review = self.run_tool("desktop_service.py", "--expected-operator-id", EDITOR_ID, "--credentials-file", "-",
                               "--company", COMPANY, "review-pull", ACTIVE_FILM, "--inbox", str(self.inbox),
                               "--proposal-id", draft["proposalID"], session=self.session())
        self.assertEqual(review.code, 0, review.stderr)
        self.assertTrue(review.json()["verified"])
        self.assertEqual(Path(review.json()["file"]).read_bytes(), frozen.read_bytes())
        sent_video = review.json()["history"]["proposals"][-1]["content"]["video"]
        self.assertEqual((sent_video["bucket"], sent_video["sha256"]), ("tf-reviews", video["sha256"]))
        # Sending again only confirms the version the service already took.
        again = self.send(draft["proposalID"]).json()
        self.assertEqual((again["version"], again["replayed"]), (1, True))

        self.customer("decide", ACTIVE_FILM, "--proposal-id", draft["proposalID"], "--decision", "approve")
        self.assertTrue(self.status(draft["proposalID"])["customerApproved"])

    def test_a_send_whose_receipt_is_lost_is_unconfirmed_until_repeated(self):
        draft = self.prepare().json()
        self.write_scenario({"videoSend": {"mode": "unconfirmed", "times": 1}})
        self.assertNotEqual(self.send(draft["proposalID"]).code, 0)
        self.assertEqual(self.status(draft["proposalID"])["state"], "notConfirmedLocally")
        # The customer amends the task meanwhile: the confirmation carries the newer revision.
        self.write_scenario({"videoSend": {"mode": "revision_moved"}})
        retry = self.send(draft["proposalID"]).json()
        self.assertEqual((retry["version"], retry["replayed"], retry["request"]["revision"]), (1, True, 4))
        self.assertEqual(self.status(draft["proposalID"])["version"], 1)

    def test_refusals(self):
        not_video = self.inbox / "notes.mp4"
        not_video.write_text("not a film")
        draft = self.prepare().json()
        cases = [
            (self.prepare(request=WRITING), "Kun klippeopgaver kan få et videoudkast."),
            (self.prepare(video=str(not_video)), "Filen kan ikke læses som en video. Eksportér filmen igen."),
            (self.prepare(label=" \n"), "Versionsnavn, beskrivelse og klipperens navn skal udfyldes."),
            (self.run_tool(VIDEO, "status", ACTIVE_FILM, "--inbox", str(self.inbox), "--proposal-id", "../x"),
             "Forslagets er ikke et gyldigt id."),
            (self.send(draft["proposalID"], session=self.session(SECOND_EDITOR_ID)),
             "Opgaven er ikke tildelt dig. Hent opgaven igen."),
        ]
        for result, message in cases:
            self.assertNotEqual(result.code, 0)
            self.assertEqual(result.error(), message)
        Path(draft["file"]).write_bytes(b"changed")
        self.assertEqual(self.send(draft["proposalID"]).error(), "Det frosne videoudkast er ændret. Klargør videoen igen.")


class ProjectCopyTest(VideoToolCase, unittest.TestCase):
    def preserve(self, proposal, project, remember=False):
        flags = ["--remember-project"] if remember else []
        return self.run_tool(PROJECTS, "preserve", ACTIVE_FILM, "--inbox", str(self.inbox), "--proposal-id", proposal,
                             "--project", str(project), *flags)

    def listed(self, proposal, word="list"):
        result = self.run_tool(PROJECTS, word, ACTIVE_FILM, "--inbox", str(self.inbox), "--proposal-id", proposal)
        self.assertEqual(result.code, 0, result.stderr)
        return result.json()

    def test_copies_replace_by_snapshot_and_remembered_projects_follow_a_delivery(self):
        library = self.tools.media / "projects" / "Sommerøl 2026.fcpbundle"
        export = self.tools.media / "projects" / "Sommerøl 2026.drp"
        draft = self.prepare().json()
        first = self.preserve(draft["proposalID"], library, remember=True).json()
        self.assertEqual(first["automaticProjects"], ["Sommerøl 2026.fcpbundle"])
        self.assertEqual(self.preserve(draft["proposalID"], export).json()["kind"], "resolveProjectExport")
        again = self.preserve(draft["proposalID"], library).json()
        self.assertEqual(again["snapshotID"], first["snapshotID"])
        versions = self.listed(draft["proposalID"])
        self.assertEqual([v["sourceName"] for v in versions["versions"]],
                         ["Sommerøl 2026.drp", "Sommerøl 2026.fcpbundle"])
        self.assertEqual((versions["automaticProjects"], versions["requiresExplicitSelection"]),
                         (["Sommerøl 2026.fcpbundle"], False))

        # A delivery copies the remembered project for the new version.
        second = self.prepare(label="Klip 3").json()
        self.assertEqual(self.send(second["proposalID"]).code, 0)
        self.assertEqual([v["sourceName"] for v in self.listed(second["proposalID"])["versions"]],
                         ["Sommerøl 2026.fcpbundle"])
        cleared = self.listed(second["proposalID"], "clear-registration")
        self.assertEqual((cleared["automaticProjects"], len(cleared["versions"])), ([], 1))

    def test_a_remembered_project_that_is_gone_asks_for_a_choice(self):
        project = self.inbox / "Gammel.drp"
        project.write_bytes(b"x")
        draft = self.prepare().json()
        self.assertEqual(self.preserve(draft["proposalID"], project, remember=True).code, 0)
        project.unlink()
        self.assertTrue(self.listed(draft["proposalID"])["requiresExplicitSelection"])
        refused = self.preserve(draft["proposalID"], self.inbox)
        self.assertEqual(refused.error(),
                         "Vælg et lukket Final Cut-bibliotek (.fcpbundle) eller en Resolve-projekteksport (.drp).")


if __name__ == "__main__":
    unittest.main()
