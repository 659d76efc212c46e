import hashlib
import json
import os
import unittest
from pathlib import Path

from standin_helpers import EDITOR_ID, StandinCase
from standin.seed import fixed_id

SERVICE = "desktop_service.py"
# Film task 3 asked for changes to version 1; task 9 is a writing task with a decision.
FILM_TASK, WRITING_TASK = fixed_id("request:3"), fixed_id("request:9")
PROPOSAL, DECISION, REACTION = fixed_id("proposal:3:1"), fixed_id("decision:3:1"), fixed_id("reaction:3:1")


def sha256(path):
    return hashlib.sha256(Path(path).read_bytes()).hexdigest()


class ServiceReviewTest(StandinCase, unittest.TestCase):
    needs_media = True

    def call(self, word, request_id, *tail):
        conn = self.conn()
        company = conn.execute("SELECT company_id FROM requests WHERE id = ?", (request_id,)).fetchone()[0]
        conn.close()
        return self.run_tool(SERVICE, "--expected-operator-id", EDITOR_ID, "--credentials-file", "-",
                             "--company", company, word, request_id, "--inbox", str(self.inbox), *tail,
                             session=self.session())

    def test_review_video_lands_under_its_task_and_version_matching_the_proposal(self):
        # The project folder reached through a link: the answer names the resolved file.
        link = Path(self.tmp.name) / ("link-" + self.inbox.name)
        os.symlink(self.inbox, link)
        self.inbox = link
        answer = self.call("review-pull", FILM_TASK, "--proposal-id", PROPOSAL)
        self.assertEqual(answer.code, 0, answer.stderr)
        review = answer.json()
        video = [p for p in review["history"]["proposals"] if p["id"] == PROPOSAL][0]["content"]["video"]
        expected = os.path.realpath(link) + "/review-videos/%s/%s/review-v1.mp4" % (FILM_TASK, PROPOSAL)
        self.assertEqual(review["file"], expected)
        self.assertTrue(review["verified"])
        self.assertEqual((review["sha256"], review["byteCount"], review["duration"]),
                         (video["sha256"], video["byte_count"], video["duration_seconds"]))
        self.assertEqual((sha256(expected), video["bucket"]), (video["sha256"], "tf-reviews"))

    def test_reactions_list_and_pull_agree_with_the_files(self):
        listed = self.call("feedback", FILM_TASK)
        self.assertEqual(listed.code, 0, listed.stderr)
        reactions = listed.json()["reactions"]
        self.assertEqual([(r["id"], r["decisionID"], r["proposalID"]) for r in reactions],
                         [(REACTION, DECISION, PROPOSAL)])
        pulled = self.call("feedback-pull", FILM_TASK, "--decision-id", DECISION, "--reaction-id", REACTION)
        self.assertEqual(pulled.code, 0, pulled.stderr)
        download = pulled.json()
        folder = self.inbox.resolve() / "reaction-feedback" / FILM_TASK / DECISION / REACTION
        self.assertEqual(download["file"], str(folder / "reaction.mp4"))
        self.assertTrue(download["verified"])
        self.assertEqual(download["selected"], reactions[0])
        self.assertEqual(json.loads((folder / "annotations.json").read_text()), download["annotations"])
        self.assertEqual(len(download["annotations"]), reactions[0]["annotationCount"])

    def test_a_customer_decision_with_a_reaction_lists_it_under_that_decision(self):
        from standin import customer
        conn = self.conn()
        decision = customer.decide(conn, FILM_TASK, PROPOSAL, "approve", "Fint.", reaction=True)
        conn.close()
        listed = self.call("feedback", FILM_TASK)
        self.assertEqual(listed.code, 0, listed.stderr)
        mine = [r for r in listed.json()["reactions"] if r["decisionID"] == decision]
        self.assertEqual([(r["proposalID"], r["proposalVersion"], r["annotationCount"]) for r in mine],
                         [(PROPOSAL, 1, 2)])
        pulled = self.call("feedback-pull", FILM_TASK, "--decision-id", decision, "--reaction-id", mine[0]["id"])
        self.assertEqual(pulled.code, 0, pulled.stderr)
        self.assertTrue(pulled.json()["verified"])

    def test_a_failed_copy_leaves_no_temporary_file(self):
        from standin.commands.service_review import copy_into
        target = self.inbox / "review-videos" / "film.mp4"
        with self.assertRaises(OSError):
            copy_into(self.inbox / "absent.mp4", target)
        self.assertEqual(list(target.parent.iterdir()), [])

    def test_refusals(self):
        cases = [("feedback", WRITING_TASK, ()),
                 ("review-pull", FILM_TASK, ("--proposal-id", fixed_id("proposal:2:1"))),
                 ("feedback-pull", FILM_TASK, ("--decision-id", DECISION, "--reaction-id", fixed_id("x")))]
        for word, task, tail in cases:
            with self.subTest(word=word):
                result = self.call(word, task, *tail)
                self.assertNotEqual(result.code, 0)
                self.assertTrue(result.error())


if __name__ == "__main__":
    unittest.main()
