"""The inbox commands of desktop_service.py: the answers the application's strict checks accept,
keyset paging, claim-next idempotency, start, pipeline paging and consent."""
import json
import re
import unittest
import uuid
from datetime import datetime, timezone

from standin_helpers import EDITOR_ID, SECOND_EDITOR_ID, StandinCase
from standin.seed import fixed_id

SERVICE = "desktop_service.py"
FIRST_COMPANY = fixed_id("company:0")
THIRD_COMPANY = fixed_id("company:2")
PIPELINE_COMPANY = fixed_id("company:extra:1")

KEYS = {
    "inbox": "schemaVersion operatorID serverTime items nextCursor nextRequestID nextItem",
    "cursor": "submitted_at id",
    "pipeline": "schemaVersion operatorID serverTime company films nextCursor",
    "mutation": "schemaVersion operatorID serverTime item replayed",
    "metadata": "schemaVersion companyID revision allowPipeline contactName",
    "row": "request company film scheduling",
    "request": "id company_id local_project_id backup_id source_fingerprint title kind status revision submitted_by"
               " submitted_at claimed_by claimed_at latest_proposal_id updated_at",
    "company": "id name contactName metadataAccess canManageMetadata",
    "film": "id title campaignID campaignTitle stage",
    "pipelineFilm": "id title campaignID campaignTitle stage requestID serviceStatus",
    "scheduling": "tier targetHours policyVersion round submissionMode receivedAt eligibleAt dueAt startedAt"
                  " blockedReason canClaim",
}
STATUSES = {"waiting", "active", "review", "changes_requested", "approved", "cancelled"}
TIMESTAMP = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?(Z|[+-]\d\d:\d\d)$")


class Checker:
    """The application's rules for these answers, so a drift in the stand-in fails here first."""

    def __init__(self, case):
        self.case = case

    def keys(self, value, name):
        self.case.assertIsInstance(value, dict, name)
        self.case.assertEqual(set(value), set(KEYS[name].split()), name)

    def uuid(self, value, nullable=False):
        if nullable and value is None:
            return
        self.case.assertIsInstance(value, str)
        self.case.assertEqual(str(uuid.UUID(value)), value.lower())

    def time(self, value, nullable=False):
        if nullable and value is None:
            return
        self.case.assertRegex(value, TIMESTAMP)

    def text(self, value, limit, nullable=False):
        if nullable and value is None:
            return
        self.case.assertIsInstance(value, str)
        self.case.assertTrue(value.strip() and "\x00" not in value and len(value.encode("utf-16-le")) // 2 <= limit)

    def integer(self, value, minimum):
        self.case.assertIs(type(value), int)
        self.case.assertGreaterEqual(value, minimum)

    def envelope(self, answer, name, operator):
        self.keys(answer, name)
        self.case.assertEqual(answer["schemaVersion"], 2)
        self.case.assertEqual(answer["operatorID"], operator)
        self.time(answer["serverTime"])

    def company(self, value):
        self.keys(value, "company")
        self.uuid(value["id"])
        self.text(value["name"], 500)
        self.text(value["contactName"], 200, nullable=True)
        self.case.assertIn(value["metadataAccess"], ("limited", "granted"))
        self.case.assertIsInstance(value["canManageMetadata"], bool)

    def film(self, value, pipeline=False):
        self.keys(value, "pipelineFilm" if pipeline else "film")
        self.uuid(value["id"])
        self.text(value["title"], 1000)
        self.uuid(value["campaignID"], nullable=True)
        self.text(value["campaignTitle"], 1000, nullable=True)
        self.text(value["stage"], 80, nullable=True)
        self.case.assertEqual(value["campaignID"] is None, value["campaignTitle"] is None)
        if pipeline:
            self.uuid(value["requestID"], nullable=True)
            self.case.assertEqual(value["requestID"] is None, value["serviceStatus"] is None)
            self.case.assertIn(value["serviceStatus"], STATUSES | {None})

    def row(self, row):
        self.keys(row, "row")
        request, company, film, plan = row["request"], row["company"], row["film"], row["scheduling"]
        self.keys(request, "request")
        self.company(company)
        self.film(film)
        for key in ("id", "company_id", "local_project_id", "backup_id", "submitted_by"):
            self.uuid(request[key])
        self.uuid(request["claimed_by"], nullable=True)
        self.uuid(request["latest_proposal_id"], nullable=True)
        self.integer(request["revision"], 0)
        self.text(request["title"], 1000)
        self.case.assertIn(request["status"], STATUSES)
        self.case.assertIn(request["kind"], ("filmEditing", "conceptDevelopment", "scriptDevelopment"))
        self.case.assertRegex(request["source_fingerprint"], r"^[a-f0-9]{64}$")
        self.time(request["submitted_at"])
        self.time(request["updated_at"])
        self.time(request["claimed_at"], nullable=True)
        self.case.assertEqual(request["company_id"].lower(), company["id"].lower())
        self.case.assertEqual(request["local_project_id"].lower(), film["id"].lower())
        self.keys(plan, "scheduling")
        self.case.assertEqual(plan["targetHours"], {"low": 24, "middle": 8, "high": 2}[plan["tier"]])
        self.case.assertEqual(plan["policyVersion"], 1)
        self.integer(plan["round"], 1)
        self.case.assertIn(plan["submissionMode"],
                           ("unspecified", "free_capture", "interview", "scripted", "archive", "revision"))
        self.time(plan["receivedAt"])
        for key in ("eligibleAt", "dueAt", "startedAt"):
            self.time(plan[key], nullable=True)
        self.case.assertIn(plan["blockedReason"], (None, "active_film", "earlier_film", "service_paused",
                                                   "not_waiting", "editor_busy"))
        self.case.assertIsInstance(plan["canClaim"], bool)
        if plan["canClaim"]:
            self.case.assertEqual((request["status"], plan["blockedReason"]), ("waiting", None))

    def inbox(self, answer, operator):
        self.envelope(answer, "inbox", operator)
        items = answer["items"]
        self.case.assertLessEqual(len(items), 50)
        for row in items:
            self.row(row)
        ids = [r["request"]["id"].lower() for r in items]
        self.case.assertEqual(len(ids), len(set(ids)))
        if answer["nextCursor"] is not None:
            self.keys(answer["nextCursor"], "cursor")
            self.case.assertEqual(answer["nextCursor"]["id"].lower(), ids[-1])
            self.case.assertEqual(answer["nextCursor"]["submitted_at"], items[-1]["request"]["submitted_at"])
        nxt = answer["nextItem"]
        self.case.assertEqual(answer["nextRequestID"], nxt["request"]["id"] if nxt else None)
        if nxt is not None:
            self.row(nxt)
            self.case.assertEqual(nxt["request"]["kind"], "filmEditing")
            startable = (nxt["request"]["status"] in ("active", "changes_requested")
                         and nxt["scheduling"]["startedAt"] is None
                         and (nxt["request"]["claimed_by"] or "").lower() == operator)
            self.case.assertTrue(nxt["scheduling"]["canClaim"] or startable)

    def pipeline(self, answer, operator, company):
        self.envelope(answer, "pipeline", operator)
        self.company(answer["company"])
        self.case.assertEqual(answer["company"]["id"], company)
        films = answer["films"]
        self.case.assertLessEqual(len(films), 50)
        for film in films:
            self.film(film, pipeline=True)
        self.case.assertEqual(len({f["id"] for f in films}), len(films))
        if answer["nextCursor"] is not None:
            self.case.assertEqual(answer["nextCursor"], films[-1]["id"])

    def mutation(self, answer, operator):
        self.envelope(answer, "mutation", operator)
        self.case.assertIsInstance(answer["replayed"], bool)
        if answer["item"] is not None:
            self.row(answer["item"])

    def metadata(self, answer, company):
        self.keys(answer, "metadata")
        self.case.assertEqual(answer["schemaVersion"], 2)
        self.case.assertEqual(answer["companyID"], company)
        self.integer(answer["revision"], 0)
        self.case.assertIsInstance(answer["allowPipeline"], bool)
        self.text(answer["contactName"], 200, nullable=True)


def moment(text):
    return datetime.fromisoformat(text.replace("Z", "+00:00"))


class InboxCase(StandinCase):
    def setUp(self):
        super().setUp()
        self.check = Checker(self)

    def service(self, *arguments, operator=EDITOR_ID, user=None, head=None):
        head = ["--expected-operator-id", operator] if head is None else head
        return self.run_tool(SERVICE, *head, "--credentials-file", "-", *arguments,
                             session=self.session(user or operator))

    def ok(self, result):
        self.assertEqual(result.code, 0, result.stderr)
        return result.json()

    def inbox_pages(self, operator):
        pages, cursor = [], None
        while True:
            extra = ["--cursor", json.dumps(cursor)] if cursor else []
            answer = self.ok(self.service("inbox", *extra, operator=operator))
            self.check.inbox(answer, operator)
            pages.append(answer)
            cursor = answer["nextCursor"]
            if cursor is None:
                return pages

    def claim_next(self, command_id, operator=EDITOR_ID):
        return self.service("claim-next", "--command-id", command_id, operator=operator)

    def task(self, request_id):
        conn = self.conn()
        row = conn.execute("SELECT * FROM requests WHERE id = ?", (request_id,)).fetchone()
        plan = conn.execute("SELECT * FROM scheduling WHERE request_id = ?", (request_id,)).fetchone()
        conn.close()
        return row, plan


class InboxPagingTest(InboxCase, unittest.TestCase):
    def test_pages_cover_every_served_task_once_newest_first(self):
        for operator, page_count in ((EDITOR_ID, 1), (SECOND_EDITOR_ID, 2)):
            with self.subTest(operator=operator):
                pages = self.inbox_pages(operator)
                self.assertEqual(len(pages), page_count)
                rows = [r for page in pages for r in page["items"]]
                keys = [(moment(r["request"]["submitted_at"]), r["request"]["id"]) for r in rows]
                self.assertEqual(keys, sorted(keys, reverse=True))
                self.assertEqual(len({k[1] for k in keys}), len(keys))
                conn = self.conn()
                served = {r[0] for r in conn.execute(
                    "SELECT r.id FROM requests r JOIN operator_companies oc ON oc.company_id = r.company_id"
                    " WHERE oc.operator_id = ?", (operator,))}
                conn.close()
                self.assertEqual({k[1] for k in keys}, served)

    def test_cursor_in_upper_case_or_with_an_offset_continues_the_same_listing(self):
        first = self.ok(self.service("inbox", operator=SECOND_EDITOR_ID))
        cursor = first["nextCursor"]
        expected = self.ok(self.service("inbox", "--cursor", json.dumps(cursor), operator=SECOND_EDITOR_ID))["items"]
        shifted = moment(cursor["submitted_at"]).astimezone(
            datetime.strptime("+0100", "%z").tzinfo).isoformat()
        for name, variant in (("upper-case id", dict(cursor, id=cursor["id"].upper())),
                              ("offset time", dict(cursor, submitted_at=shifted))):
            with self.subTest(name):
                answer = self.ok(self.service("inbox", "--cursor", json.dumps(variant), operator=SECOND_EDITOR_ID))
                self.assertEqual(answer["items"], expected)

    def test_bad_cursors_and_foreign_operator_are_refused(self):
        good = {"submitted_at": "2026-03-01T00:00:00Z", "id": fixed_id("request:0")}
        rows = {
            "not json": ["inbox", "--cursor", "{"],
            "extra key": ["inbox", "--cursor", json.dumps(dict(good, more=1))],
            "missing id": ["inbox", "--cursor", json.dumps({"submitted_at": good["submitted_at"]})],
            "id not a uuid": ["inbox", "--cursor", json.dumps(dict(good, id="r1"))],
            "time without zone": ["inbox", "--cursor", json.dumps(dict(good, submitted_at="2026-03-01T00:00:00"))],
        }
        for name, arguments in rows.items():
            with self.subTest(name):
                result = self.service(*arguments)
                self.assertNotEqual(result.code, 0)
                self.assertIsInstance(result.error(), str)
        result = self.service("inbox", operator=SECOND_EDITOR_ID, user=EDITOR_ID)
        self.assertNotEqual(result.code, 0)

    def test_inbox_without_expected_operator_names_the_signed_in_one(self):
        answer = self.ok(self.service("inbox", head=[], user=EDITOR_ID))
        self.check.inbox(answer, EDITOR_ID)


class DemoClockTest(InboxCase, unittest.TestCase):
    def test_a_fresh_demo_is_a_working_day_of_today(self):
        # A demo reset today shows start targets a few hours ahead and behind, and nothing after now.
        now = datetime.now(timezone.utc)
        for operator in (EDITOR_ID, SECOND_EDITOR_ID):
            with self.subTest(operator=operator):
                rows = [r for page in self.inbox_pages(operator) for r in page["items"]]
                times = [moment(t) for r in rows for t in (r["request"]["submitted_at"], r["request"]["updated_at"],
                                                          r["request"]["claimed_at"], r["scheduling"]["receivedAt"],
                                                          r["scheduling"]["startedAt"]) if t]
                self.assertLessEqual(max(times), now)
                due = [(moment(r["scheduling"]["dueAt"]) - now).total_seconds() / 3600 for r in rows
                       if r["scheduling"]["dueAt"] and not r["scheduling"]["startedAt"]
                       and r["request"]["status"] not in ("approved", "cancelled")]
                self.assertTrue(any(0 < hours < 12 for hours in due), due)
                self.assertTrue(any(-12 < hours < 0 for hours in due), due)


class ClaimNextTest(InboxCase, unittest.TestCase):
    def test_claims_the_proposed_task_once_per_command_id(self):
        claimable = [r for r in self.ok(self.service("inbox"))["items"]
                     if r["scheduling"]["canClaim"] and r["request"]["kind"] == "filmEditing"]
        self.assertEqual(len(claimable), 1)
        proposed = claimable[0]
        command_id = str(uuid.uuid4())
        # The demo's own claims all lie before the reset; a claim made now comes after this second.
        before = datetime.now(timezone.utc).strftime("%Y-%m-%dT%H:%M:%S")
        first = self.ok(self.claim_next(command_id))
        self.check.mutation(first, EDITOR_ID)
        self.assertFalse(first["replayed"])
        item = first["item"]
        self.assertEqual(item["request"]["id"], proposed["request"]["id"])
        self.assertEqual((item["request"]["status"], item["request"]["claimed_by"]), ("active", EDITOR_ID))
        self.assertEqual(item["request"]["revision"], proposed["request"]["revision"] + 1)
        self.assertIsNone(item["scheduling"]["startedAt"])

        again = self.ok(self.claim_next(command_id.upper()))
        self.check.mutation(again, EDITOR_ID)
        self.assertTrue(again["replayed"])
        self.assertEqual(again["item"], item)
        row, _ = self.task(item["request"]["id"])
        self.assertEqual(row["revision"], item["request"]["revision"])
        conn = self.conn()
        commands = conn.execute("SELECT COUNT(*) FROM commands").fetchone()[0]
        claimed = conn.execute("SELECT COUNT(*) FROM requests WHERE claimed_by = ? AND status = 'active'"
                               " AND claimed_at >= ?", (EDITOR_ID, before)).fetchone()[0]
        conn.close()
        self.assertEqual((commands, claimed), (1, 1))

        listed = {r["request"]["id"]: r for r in self.ok(self.service("inbox"))["items"]}
        self.assertEqual(listed[item["request"]["id"]], item)

    def test_nothing_left_to_claim_answers_no_item_and_replays_that(self):
        command = str(uuid.uuid4())
        self.ok(self.claim_next(command))
        empty = self.ok(self.claim_next(str(uuid.uuid4())))
        self.check.mutation(empty, EDITOR_ID)
        self.assertEqual((empty["item"], empty["replayed"]), (None, False))
        replay = self.ok(self.claim_next(command))
        self.assertTrue(replay["replayed"])
        self.assertIsNotNone(replay["item"])

    def test_a_lost_answer_is_recovered_with_the_same_id(self):
        self.write_scenario({"serviceClaimNext": {"mode": "fail_after", "error": "Forbindelsen blev afbrudt.",
                                                  "times": 1}})
        command_id = str(uuid.uuid4())
        lost = self.claim_next(command_id)
        self.assertNotEqual(lost.code, 0)
        self.assertEqual(lost.error(), "Forbindelsen blev afbrudt.")
        self.assertEqual(lost.stdout, b"")
        recovered = self.ok(self.claim_next(command_id))
        self.assertTrue(recovered["replayed"])
        self.assertEqual(recovered["item"]["request"]["claimed_by"], EDITOR_ID)

    def test_a_command_id_of_another_operator_or_a_bad_id_is_refused(self):
        command_id = str(uuid.uuid4())
        self.ok(self.claim_next(command_id))
        for name, result in (("other operator", self.claim_next(command_id, operator=SECOND_EDITOR_ID)),
                             ("not a uuid", self.claim_next("claim-1"))):
            with self.subTest(name):
                self.assertNotEqual(result.code, 0)
                self.assertIsInstance(result.error(), str)


class StartTest(InboxCase, unittest.TestCase):
    def claimed(self):
        return self.ok(self.claim_next(str(uuid.uuid4())))["item"]

    def start(self, row, revision=None, company=None, operator=EDITOR_ID):
        return self.service("--company", company or row["company"]["id"], "start", row["request"]["id"],
                            "--revision", str(row["request"]["revision"] if revision is None else revision),
                            operator=operator)

    def test_start_sets_the_start_time_and_keeps_the_round(self):
        row = self.claimed()
        answer = self.ok(self.start(row))
        self.check.mutation(answer, EDITOR_ID)
        item = answer["item"]
        self.assertEqual(item["request"]["id"], row["request"]["id"])
        self.assertEqual(item["film"]["id"], row["film"]["id"])
        self.assertEqual(item["scheduling"]["round"], row["scheduling"]["round"])
        self.assertIsNotNone(item["scheduling"]["startedAt"])
        self.assertFalse(answer["replayed"])

    def test_refusals_leave_the_task_unstarted(self):
        row = self.claimed()
        review = self.ok(self.service("inbox"))["items"]
        other = next(r for r in review if r["request"]["status"] == "review")
        rows = {
            "stale revision": lambda: self.start(row, revision=row["request"]["revision"] - 1),
            "another company": lambda: self.start(row, company=THIRD_COMPANY),
            "another operator": lambda: self.start(row, operator=SECOND_EDITOR_ID),
            "task in review": lambda: self.start(other),
            "revision not a number": lambda: self.start(row, revision="x"),
        }
        for name, attempt in rows.items():
            with self.subTest(name):
                result = attempt()
                self.assertNotEqual(result.code, 0)
                self.assertIsInstance(result.error(), str)
        _, plan = self.task(row["request"]["id"])
        self.assertIsNone(plan["started_at"])
        self.ok(self.start(row))
        self.assertNotEqual(self.start(row).code, 0, "a started task cannot be started again")


class PipelineAndConsentTest(InboxCase, unittest.TestCase):
    def pipeline(self, company, after=None, operator=EDITOR_ID):
        extra = ["--after-film-id", after] if after else []
        return self.service("--company", company, "pipeline", *extra, operator=operator)

    def test_long_pipeline_pages_by_film_id(self):
        films, after = [], None
        while True:
            answer = self.ok(self.pipeline(PIPELINE_COMPANY, after, operator=SECOND_EDITOR_ID))
            self.check.pipeline(answer, SECOND_EDITOR_ID, PIPELINE_COMPANY)
            films += answer["films"]
            after = answer["nextCursor"]
            if after is None:
                break
        ids = [f["id"] for f in films]
        self.assertEqual(len(ids), 55)
        self.assertEqual(ids, sorted(ids))
        self.assertEqual(len(set(ids)), 55)

    def test_consent_read_save_and_what_the_pipeline_then_shows(self):
        before = self.ok(self.pipeline(FIRST_COMPANY))
        self.check.pipeline(before, EDITOR_ID, FIRST_COMPANY)
        self.assertEqual(before["company"]["metadataAccess"], "limited")
        self.assertTrue(before["company"]["canManageMetadata"])
        self.assertTrue(all(f["requestID"] for f in before["films"]))

        settings = self.ok(self.service("--company", FIRST_COMPANY, "metadata-settings"))
        self.check.metadata(settings, FIRST_COMPANY)
        saved = self.ok(self.service("--company", FIRST_COMPANY, "metadata-consent", "--revision",
                                     str(settings["revision"]), "--allow-pipeline", "true",
                                     "--contact-name", " Mette Holm, marketing "))
        self.check.metadata(saved, FIRST_COMPANY)
        self.assertEqual((saved["revision"], saved["allowPipeline"], saved["contactName"]),
                         (settings["revision"] + 1, True, " Mette Holm, marketing "))

        after = self.ok(self.pipeline(FIRST_COMPANY))
        self.assertEqual(after["company"]["metadataAccess"], "granted")
        self.assertEqual(after["company"]["contactName"], " Mette Holm, marketing ")
        self.assertGreater(len(after["films"]), len(before["films"]))
        self.assertTrue(any(f["requestID"] is None for f in after["films"]))

        cleared = self.ok(self.service("--company", FIRST_COMPANY, "metadata-consent", "--revision",
                                       str(saved["revision"]), "--allow-pipeline", "false"))
        self.assertEqual((cleared["allowPipeline"], cleared["contactName"]), (False, None))

    def test_consent_refusals(self):
        rows = {
            "stale revision": ("--company", FIRST_COMPANY, "metadata-consent", "--revision", "0",
                               "--allow-pipeline", "true"),
            "allow not a word": ("--company", FIRST_COMPANY, "metadata-consent", "--revision", "3",
                                 "--allow-pipeline", "1"),
            "blank contact": ("--company", FIRST_COMPANY, "metadata-consent", "--revision", "3",
                              "--allow-pipeline", "true", "--contact-name", "  "),
            "contact too long": ("--company", FIRST_COMPANY, "metadata-consent", "--revision", "3",
                                 "--allow-pipeline", "true", "--contact-name", "😀" * 101),
            "not a manager: read": ("--company", THIRD_COMPANY, "metadata-settings"),
            "not a manager: save": ("--company", THIRD_COMPANY, "metadata-consent", "--revision", "1",
                                    "--allow-pipeline", "true"),
            "allow missing": ("--company", FIRST_COMPANY, "metadata-consent", "--revision", "3"),
        }
        for name, arguments in rows.items():
            with self.subTest(name):
                result = self.service(*arguments)
                self.assertNotEqual(result.code, 0)
                self.assertIsInstance(result.error(), str)
        settings = self.ok(self.service("--company", FIRST_COMPANY, "metadata-settings"))
        self.assertEqual((settings["revision"], settings["allowPipeline"]), (3, False))

    def test_a_contact_name_of_exactly_two_hundred_units_is_kept(self):
        name = "😀" * 100
        saved = self.ok(self.service("--company", FIRST_COMPANY, "metadata-consent", "--revision", "3",
                                     "--allow-pipeline", "false", "--contact-name", name))
        self.assertEqual(saved["contactName"], name)


if __name__ == "__main__":
    unittest.main()
