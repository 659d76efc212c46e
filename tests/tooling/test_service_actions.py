import hashlib
import json
import os
import shutil
import tempfile
import unittest
from pathlib import Path

from standin_helpers import EDITOR_ID, SECOND_EDITOR_ID, StandinCase
from standin import briefs, db
from standin.seed import fixed_id
from test_service_proposals import CONCEPT_TASK, ProposalCase

SERVICE = "desktop_service.py"


def sha256(path: Path) -> str:
    return hashlib.sha256(path.read_bytes()).hexdigest()


class ServiceActionCase(StandinCase):
    needs_media = True

    def task(self, where, *parameters):
        conn = self.conn()
        row = conn.execute("SELECT * FROM requests WHERE %s ORDER BY id LIMIT 1" % where, parameters).fetchone()
        conn.close()
        return row

    def credentialed(self, word, task, *tail, user=EDITOR_ID, operator=None):
        head = ["--expected-operator-id", operator] if operator else []
        return self.run_tool(SERVICE, *head, "--credentials-file", "-", "--company", task["company_id"], word,
                             task["id"], *tail, session=self.session(user))

    def claim(self, task, revision=None, user=EDITOR_ID):
        return self.credentialed("claim", task, "--revision", str(task["revision"] if revision is None else revision),
                                 user=user)

    def pull(self, task, word="pull"):
        return self.credentialed(word, task, "--inbox", str(self.inbox))

    def local(self, word, task):
        return self.run_tool(SERVICE, word, task["id"], "--inbox", str(self.inbox))


class ClaimTest(ServiceActionCase, unittest.TestCase):
    def test_claims(self):
        waiting = self.task("status = 'waiting' AND claimed_by IS NULL")
        active = self.task("status = 'active' AND claimed_by = ?", EDITOR_ID)
        # name: (task, revision, user, error or None, replayed, revision after)
        rows = {
            "unclaimed task": (waiting, None, EDITOR_ID, None, False, waiting["revision"] + 1),
            "stale revision": (waiting, waiting["revision"] - 1, EDITOR_ID, "ændret", None, waiting["revision"]),
            "own claim again": (active, None, EDITOR_ID, None, True, active["revision"]),
            "another editor's task": (active, None, SECOND_EDITOR_ID, "anden redaktør", None, active["revision"]),
        }
        for name, (task, revision, user, error, replayed, after) in rows.items():
            with self.subTest(name):
                self.setUp()
                result = self.claim(task, revision, user)
                stored = self.task("id = ?", task["id"])
                self.assertEqual(stored["revision"], after)
                if error:
                    self.assertNotEqual(result.code, 0)
                    self.assertIn(error, result.error())
                    continue
                self.assertEqual(result.code, 0, result.stderr)
                answer = result.json()
                self.assertEqual(set(answer), {"request", "replayed"})
                self.assertEqual(answer["replayed"], replayed)
                self.assertEqual((answer["request"]["claimed_by"], answer["request"]["status"]),
                                 (user, stored["status"]))

    def test_an_answer_lost_after_the_claim_is_replayed(self):
        task = self.task("status = 'waiting' AND claimed_by IS NULL")
        self.write_scenario({"serviceClaim": {"mode": "fail_after", "times": 1}})
        self.assertNotEqual(self.claim(task).code, 0)
        again = self.claim(task)
        self.assertEqual(again.code, 0, again.stderr)
        self.assertTrue(again.json()["replayed"])
        self.assertEqual(again.json()["request"]["revision"], task["revision"] + 1)
        second = self.claim(task, user=SECOND_EDITOR_ID)
        self.assertEqual(second.error(), "Opgaven er allerede taget af en anden redaktør.")


class PullTest(ServiceActionCase, unittest.TestCase):
    def test_pull_writes_verified_files_and_keeps_the_brief(self):
        task = self.task("kind = 'filmEditing' AND claimed_by = ?", EDITOR_ID)
        result = self.pull(task, "pull-film")
        self.assertEqual(result.code, 0, result.stderr)
        answer = result.json()
        self.assertEqual(set(answer), {"companyID", "packageID", "folder", "request", "verified"})
        self.assertTrue(answer["verified"])
        self.assertEqual((answer["companyID"], answer["request"]["id"]), (task["company_id"], task["id"]))
        folder = Path(answer["folder"])
        self.assertEqual(folder.parent, self.inbox)
        manifest = json.loads((folder / "tavlon-package.json").read_text())
        self.assertEqual(manifest["requestID"], task["id"])
        for entry in manifest["files"]:
            self.assertEqual(sha256(folder / entry["path"]), entry["sha256"], entry["path"])
        brief = json.loads((folder / "current-brief.json").read_text())
        self.assertEqual((brief["requestID"], brief["requestRevision"], brief["cached"]),
                         (task["id"], task["revision"], True))
        context = self.run_tool("editor_bridge.py", "--inbox", str(self.inbox), "context", answer["packageID"]).json()
        self.assertEqual(context["contextRevision"], brief["contextRevision"])
        self.assertRegex(brief["contextRevision"], "^[0-9a-f]{64}$")

    def test_a_tampered_file_makes_the_next_pull_unverified(self):
        task = self.task("kind = 'scriptDevelopment' AND claimed_by = ?", EDITOR_ID)
        folder = Path(self.pull(task).json()["folder"])
        (folder / "notes" / "notes.txt").write_text("ændret af nogen\n")
        again = self.pull(task)
        self.assertEqual(again.code, 0, again.stderr)
        self.assertFalse(again.json()["verified"])

    def test_refusals(self):
        waiting = self.task("status = 'waiting' AND claimed_by IS NULL")
        others = self.task("claimed_by = ?", SECOND_EDITOR_ID)
        for name, task in {"unclaimed task": waiting, "another editor's task": others}.items():
            with self.subTest(name):
                result = self.pull(task)
                self.assertEqual(result.error(), "Tag opgaven, før du henter materialet.")
                self.assertEqual(list(self.inbox.iterdir()), [])

    def test_history_is_kept_in_the_project_folder(self):
        task = self.task("status = 'approved' AND claimed_by = ?", EDITOR_ID)
        result = self.credentialed("history", task, "--inbox", str(self.inbox))
        self.assertEqual(result.code, 0, result.stderr)
        kept = json.loads((self.inbox / "service-history" / ("%s.json" % task["id"])).read_text())
        self.assertEqual(kept, result.json())
        self.assertEqual(len(kept["proposals"]), 2)


class FilmFolderTest(ServiceActionCase, unittest.TestCase):
    def test_copy_then_relink_after_the_folder_moved_disks(self):
        task = self.task("kind = 'filmEditing' AND claimed_by = ?", EDITOR_ID)
        self.assertTrue(self.pull(task).json()["verified"])
        copied = self.local("package-film", task)
        self.assertEqual(copied.code, 0, copied.stderr)
        answer = copied.json()
        self.assertEqual((answer["verified"], answer["diskStatus"]), (True, "ready"))
        film = Path(answer["projectFolder"])
        project = json.loads(Path(answer["projectManifest"]).read_text())
        self.assertEqual(len(project["imports"]), 3)
        for entry in project["imports"]:
            self.assertTrue(Path(entry["file"]).is_relative_to(film))
            self.assertEqual(sha256(Path(entry["file"])), entry["sha256"])
        # The imports as another machine left them: pointing at a disk that is not here.
        for entry in project["imports"]:
            entry["file"] = "/Volumes/Elsewhere/" + entry["path"]
        Path(answer["projectManifest"]).write_text(json.dumps(project))
        relinked = self.local("relink-film", task)
        self.assertEqual(relinked.json()["diskStatus"], "ready")
        project = json.loads(Path(answer["projectManifest"]).read_text())
        self.assertTrue(all(Path(e["file"]).is_relative_to(film) for e in project["imports"]))

    def test_refusals_and_a_missing_copy(self):
        film = self.task("kind = 'filmEditing' AND claimed_by = ?", EDITOR_ID)
        writing = self.task("kind = 'conceptDevelopment' AND claimed_by = ?", EDITOR_ID)
        self.assertEqual(self.local("package-film", film).error(),
                         "Opgaven er ikke hentet til projektmappen. Hent den først.")
        self.pull(film)
        self.assertEqual(self.local("relink-film", film).error(),
                         "Filmmappen findes ikke. Kopiér den komplette filmmappe først.")
        self.pull(writing)
        self.assertEqual(self.local("package-film", writing).error(), "Kun klippeopgaver har en filmmappe.")
        answer = self.local("package-film", film).json()
        Path(answer["projectFolder"], "media", "broll.mp4").unlink()
        self.assertEqual(self.local("relink-film", film).json()["diskStatus"], "missing-media")


class ProjectFolderBoundsTest(ProposalCase, unittest.TestCase):
    """Names from requests, records and the service, and links inside the project folder, never lead
    a command to read or write outside the project folder (or, for uploads, the service's store)."""

    FILM = fixed_id("request:1")  # film editing, active, claimed by the demo editor
    REVIEWED = fixed_id("request:3")  # film editing with a decision and a recorded reaction
    DECISION, REACTION = fixed_id("decision:3:1"), fixed_id("reaction:3:1")

    def credentialed(self, word, request_id, *tail):
        task = self.task(request_id)
        return self.service("--expected-operator-id", EDITOR_ID, "--credentials-file", "-", "--company",
                            task["company_id"], word, request_id, "--inbox", str(self.inbox), *tail,
                            session=self.session())

    def pulled(self, request_id):
        result = self.credentialed("pull", request_id)
        self.assertEqual(result.code, 0, result.stderr)
        return Path(result.json()["folder"])

    def local(self, word, request_id):
        return self.service(word, request_id, "--inbox", str(self.inbox))

    def link(self, *parts, to):
        path = self.inbox.joinpath(*parts)
        path.parent.mkdir(parents=True, exist_ok=True)
        os.symlink(to, path)

    def relative(self, target):
        return os.path.relpath(target, self.inbox)

    def climbing_request(self, word):
        folder = self.pulled(self.FILM)
        manifest = json.loads((folder / "tavlon-package.json").read_text())
        # A restored backup can carry any id: here one that climbs out of the project folder.
        manifest["requestID"] = "x/../../" + self.outside.name
        (folder / "tavlon-package.json").write_text(json.dumps(manifest))
        (self.inbox / "film-x").mkdir()  # so that the climb also resolves
        return self.local(word, manifest["requestID"])

    def reaction_from(self, media_file):
        conn = self.conn()
        conn.execute("UPDATE reactions SET media_file = ? WHERE id = ?", (media_file, self.REACTION))
        conn.close()
        return self.feedback_pull()

    def feedback_pull(self):
        return self.credentialed("feedback-pull", self.REVIEWED, "--decision-id", self.DECISION,
                                 "--reaction-id", self.REACTION)

    def reaction_folder(self):
        return self.inbox / "reaction-feedback" / self.REVIEWED / self.DECISION / self.REACTION

    def video(self, *arguments, session=None):
        return self.run_tool("desktop_video.py", *arguments, session=session)

    def draft(self):
        result = self.video("prepare", self.FILM, "--inbox", str(self.inbox), "--video",
                            str(self.tools.media / "export-klip-2.mp4"), "--revision", "2", "--label", "Klip 2",
                            "--summary", "Logo før", "--editor", "Lea")
        self.assertEqual(result.code, 0, result.stderr)
        return result.json()

    def send_draft(self, draft):
        return self.video("send", self.FILM, "--inbox", str(self.inbox), "--credentials-file", "-", "--company",
                          self.task(self.FILM)["company_id"], "--proposal-id", draft["proposalID"], "--qc-confirmed",
                          "--confirm-send", session=self.session())

    def tampered_draft(self, change):
        draft = self.draft()
        record_path = Path(draft["file"]).parent / "draft.json"
        record = json.loads(record_path.read_text())
        change(record["preview"], Path(draft["file"]))
        record_path.write_text(json.dumps(record))
        return self.send_draft(draft)

    def upload_elsewhere(self, preview, frozen):
        # Climbs from the service's upload store out of the tools folder.
        preview["content"]["video"]["object_key"] = "../../../%s/upload.mp4" % self.outside.name

    def video_elsewhere(self, preview, frozen):
        frozen.unlink()
        preview["file"] = str(self.outside / "video.mp4")  # the same video, but not the draft's

    def writing_handoff(self):
        handoff = self.prepare(CONCEPT_TASK)
        return handoff, Path(handoff["folder"])

    def template_into_linked_work(self):
        handoff, folder = self.writing_handoff()
        os.symlink(self.outside, folder / "work")
        return self.template(handoff)

    def preview_into_linked_record(self):
        handoff, folder = self.writing_handoff()
        self.write_proposal(handoff)
        os.symlink(self.outside / "secret.txt", folder / "proposal-checked.json")
        return self.preview(handoff, self.task(CONCEPT_TASK)["revision"])

    @staticmethod
    def contents(folder):
        return sorted((str(p.relative_to(folder)), sha256(p) if p.is_file() else None) for p in folder.rglob("*"))

    def test_nothing_is_read_or_written_outside_the_project_folder(self):
        rows = {
            "package-film for a climbing request id": lambda: self.climbing_request("package-film"),
            "relink-film for a climbing request id": lambda: self.climbing_request("relink-film"),
            "a stored reaction naming a file of this computer": lambda: self.reaction_from(
                str(self.outside / "secret.txt")),
            "a stored reaction climbing out of the media": lambda: self.reaction_from(
                os.path.relpath(self.outside / "secret.txt", self.tools.media)),
            "service-history linked elsewhere": lambda: (
                self.link("service-history", to=self.outside),
                self.credentialed("history", self.FILM))[1],
            "reaction-feedback linked elsewhere": lambda: (
                self.link("reaction-feedback", to=self.outside), self.feedback_pull())[1],
            "annotations.json linked to a file elsewhere": lambda: (
                self.link(*self.reaction_folder().relative_to(self.inbox).parts, "annotations.json",
                          to=self.outside / "secret.txt"), self.feedback_pull())[1],
            "the film folder linked elsewhere": lambda: (
                self.pulled(self.FILM), self.link("film-" + self.FILM, to=self.outside),
                self.local("package-film", self.FILM))[1:][1],
            "video-drafts linked elsewhere": lambda: (
                self.link("video-drafts", to=self.outside), self.video(
                    "prepare", self.FILM, "--inbox", str(self.inbox), "--video",
                    str(self.tools.media / "export-klip-2.mp4"), "--revision", "2", "--label", "Klip 2",
                    "--summary", "Logo før", "--editor", "Lea"))[1],
            "a hand-off's work folder linked elsewhere": self.template_into_linked_work,
            "proposal-checked.json linked to a file elsewhere": self.preview_into_linked_record,
            "a draft whose upload key climbs out": lambda: self.tampered_draft(self.upload_elsewhere),
            "a draft naming a video elsewhere": lambda: self.tampered_draft(self.video_elsewhere),
        }
        for name, attempt in rows.items():
            with self.subTest(name):
                self.setUp()
                self.outside = Path(tempfile.mkdtemp(prefix="outside-", dir=self.tmp.name))
                (self.outside / "secret.txt").write_text("not the project's\n")
                (self.outside / "film-project.json").write_text("{}")
                shutil.copyfile(self.tools.media / "export-klip-2.mp4", self.outside / "video.mp4")
                before = self.contents(self.outside)
                result = attempt()
                after = self.contents(self.outside)
                self.assertNotEqual(result.code, 0, result.stdout)
                self.assertEqual(after, before)
                copied = [p for p in self.inbox.rglob("*") if p.is_file() and not p.is_symlink()
                          and p.read_bytes() == b"not the project's\n"]
                self.assertEqual(copied, [])


class BriefPullTest(ServiceActionCase, unittest.TestCase):
    def brief(self, task):
        return self.run_tool("desktop_brief.py", "pull", task["id"], "--inbox", str(self.inbox), "--company",
                             task["company_id"], "--credentials-file", "-", "--expected-operator-id", EDITOR_ID,
                             session=self.session())

    def context(self, package_id):
        return self.run_tool("editor_bridge.py", "--inbox", str(self.inbox), "context", package_id).json()

    def test_the_amended_brief_is_kept_and_moves_with_a_new_amendment(self):
        task = self.task("id = ?", fixed_id("request:1"))
        package = self.pull(task).json()["packageID"]
        first = self.brief(task)
        self.assertEqual(first.code, 0, first.stderr)
        brief = first.json()
        amendment = brief["currentAmendment"]
        self.assertEqual((brief["requestRevision"], amendment["applied_revision"]), (task["revision"],) * 2)
        self.assertEqual(brief["effectiveInstructions"], amendment["instructions"])
        self.assertNotEqual(brief["effectiveInstructions"], brief["originalInstructions"])
        self.assertEqual(self.context(package)["currentBrief"], brief)

        conn = self.conn()
        with db.transaction(conn):
            briefs.amend(conn, task["id"], "Kun 15 sekunder.", "", fixed_id("customer:0"), "2026-03-02T10:00:00Z")
        conn.close()
        moved = self.brief(task).json()
        self.assertEqual(moved["requestRevision"], task["revision"] + 1)
        self.assertEqual(moved["effectiveInstructions"], "Kun 15 sekunder.")
        self.assertEqual(moved["currentAmendment"]["base_revision"], task["revision"])
        context = self.context(package)
        self.assertEqual((context["contextRevision"], context["currentBrief"]), (moved["contextRevision"], moved))
        self.assertNotEqual(moved["contextRevision"], brief["contextRevision"])

    def test_a_brief_needs_the_pulled_package(self):
        task = self.task("kind = 'conceptDevelopment' AND claimed_by = ?", EDITOR_ID)
        self.assertEqual(self.brief(task).error(), "Opgaven er ikke hentet til projektmappen. Hent den først.")
        self.pull(task)
        brief = self.brief(task).json()
        self.assertNotIn("currentAmendment", brief)
        self.assertEqual(brief["effectiveInstructions"], brief["originalInstructions"])


if __name__ == "__main__":
    unittest.main()
