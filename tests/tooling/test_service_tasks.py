import unittest

from standin_helpers import EDITOR_ID, SECOND_EDITOR_ID, StandinCase
from standin import accounts, db
from standin.seed import fixed_id

SERVICE = "desktop_service.py"
RECEIPT_KEYS = {"id", "company_id", "local_project_id", "backup_id", "source_fingerprint", "title", "kind",
                "status", "revision", "submitted_by", "submitted_at", "updated_at", "claimed_by", "claimed_at",
                "latest_proposal_id"}
FIRST_COMPANY = fixed_id("company:0")
SECOND_ONLY_COMPANY = fixed_id("company:extra:0")


class ServiceTaskCase(StandinCase):
    def list(self, company, session=None, operator=None):
        head = ["--expected-operator-id", operator] if operator else []
        return self.run_tool(SERVICE, *head, "--credentials-file", "-", "--company", company, "list",
                             session=session or self.session())

    def get(self, company, request_id, session=None, operator=None):
        head = ["--expected-operator-id", operator] if operator else []
        return self.run_tool(SERVICE, *head, "--credentials-file", "-", "--company", company, "get", request_id,
                             session=session or self.session())

    def task(self, where, *parameters):
        conn = self.conn()
        row = conn.execute("SELECT * FROM requests WHERE %s ORDER BY id LIMIT 1" % where, parameters).fetchone()
        conn.close()
        return row


class ServiceListTest(ServiceTaskCase, unittest.TestCase):
    def test_lists_every_task_of_the_company_newest_first(self):
        result = self.list(FIRST_COMPANY, operator=EDITOR_ID)
        self.assertEqual(result.code, 0, result.stderr)
        answer = result.json()
        self.assertEqual(set(answer), {"companyID", "operatorID", "requests"})
        self.assertEqual(answer["companyID"], FIRST_COMPANY)
        self.assertEqual(answer["operatorID"], EDITOR_ID)
        rows = answer["requests"]
        conn = self.conn()
        expected = {r[0] for r in conn.execute("SELECT id FROM requests WHERE company_id = ?", (FIRST_COMPANY,))}
        conn.close()
        self.assertEqual({r["id"] for r in rows}, expected)
        self.assertTrue(all(set(r) == RECEIPT_KEYS for r in rows))
        self.assertTrue(all(r["company_id"] == FIRST_COMPANY for r in rows))
        stamps = [r["updated_at"] for r in rows]
        self.assertEqual(stamps, sorted(stamps, reverse=True))
        waiting = [r for r in rows if r["status"] == "waiting"]
        self.assertTrue(waiting and all(r["claimed_by"] is None and r["claimed_at"] is None for r in waiting))
        self.assertTrue(all(isinstance(r["revision"], int) for r in rows))

    def test_a_company_without_tasks_lists_none(self):
        result = self.list(SECOND_ONLY_COMPANY, session=self.session(SECOND_EDITOR_ID))
        self.assertEqual(result.code, 0, result.stderr)
        self.assertEqual(result.json()["requests"], [])

    def test_upper_case_company_is_the_same_company(self):
        result = self.list(FIRST_COMPANY.upper())
        self.assertEqual(result.code, 0, result.stderr)
        self.assertEqual(result.json()["companyID"], FIRST_COMPANY)

    def test_refusals(self):
        conn = self.conn()
        with db.transaction(conn):
            accounts.add_user(conn, fixed_id("customer-account"), "kunde@example.com", "x", "Kunde",
                              operator=False)
            customer = accounts.issue_session(conn, fixed_id("customer-account"), "password", 3600)
        conn.close()
        customer_session = {"access_token": customer["access_token"], "user_id": fixed_id("customer-account"),
                            "expires_at": customer["expires_at"]}
        rows = {
            "company the operator does not serve": dict(company=SECOND_ONLY_COMPANY),
            "unknown company": dict(company=fixed_id("company:nowhere")),
            "company that is no id": dict(company="Nordlys Bryggeri"),
            "empty company": dict(company=""),
            "another operator expected": dict(company=FIRST_COMPANY, operator=SECOND_EDITOR_ID),
            "signed in as a customer": dict(company=FIRST_COMPANY, session=customer_session),
        }
        for name, row in rows.items():
            with self.subTest(name):
                result = self.list(row["company"], session=row.get("session"), operator=row.get("operator"))
                self.assertNotEqual(result.code, 0)
                self.assertEqual(result.stdout, b"")
                self.assertIsInstance(result.error(), str)


class ServiceGetTest(ServiceTaskCase, unittest.TestCase):
    def test_approved_task_has_both_versions_and_decisions_in_order(self):
        task = self.task("status = 'approved' AND kind = 'conceptDevelopment'")
        result = self.get(task["company_id"], task["id"], operator=EDITOR_ID)
        self.assertEqual(result.code, 0, result.stderr)
        answer = result.json()
        self.assertEqual(set(answer), {"request", "proposals", "decisions"})
        self.assertEqual(set(answer["request"]), RECEIPT_KEYS)
        self.assertEqual(answer["request"]["id"], task["id"])
        self.assertEqual(answer["request"]["revision"], task["revision"])
        proposals = answer["proposals"]
        self.assertEqual([p["version_number"] for p in proposals], [1, 2])
        self.assertEqual(answer["request"]["latest_proposal_id"], proposals[-1]["id"])
        self.assertEqual(len(proposals[0]["content"]["concept_options"]), 3)
        self.assertEqual([d["decision"] for d in answer["decisions"]], ["request_changes", "approve"])
        self.assertEqual([d["proposal_id"] for d in answer["decisions"]], [p["id"] for p in proposals])
        self.assertEqual(answer["decisions"][0]["selected_option_id"], "opt-2")

    def test_waiting_task_has_no_history(self):
        task = self.task("status = 'waiting'")
        answer = self.get(task["company_id"], task["id"]).json()
        self.assertEqual((answer["proposals"], answer["decisions"]), ([], []))
        self.assertIsNone(answer["request"]["claimed_by"])
        self.assertIsNone(answer["request"]["latest_proposal_id"])

    def test_film_proposal_carries_its_review_video_and_a_plain_decision_has_no_option(self):
        task = self.task("status = 'changes_requested' AND kind = 'filmEditing'")
        answer = self.get(task["company_id"], task["id"]).json()
        video = answer["proposals"][0]["content"]["video"]
        self.assertIsInstance(video["byte_count"], int)
        self.assertIsInstance(video["editor_qc_confirmed"], bool)
        self.assertIsNone(answer["decisions"][0]["selected_option_id"])

    def test_a_claimed_task_shows_the_latest_revision(self):
        task = self.task("status = 'waiting'")
        conn = self.conn()
        with db.transaction(conn):
            conn.execute("UPDATE requests SET revision = revision + 1, status = 'active', claimed_by = ?"
                         " WHERE id = ?", (SECOND_EDITOR_ID, task["id"]))
        conn.close()
        request = self.get(task["company_id"], task["id"]).json()["request"]
        self.assertEqual((request["revision"], request["status"], request["claimed_by"]),
                         (task["revision"] + 1, "active", SECOND_EDITOR_ID))

    def test_refusals(self):
        task = self.task("company_id = ?", FIRST_COMPANY)
        other = self.task("company_id != ?", FIRST_COMPANY)
        rows = {
            "task of another served company": (FIRST_COMPANY, other["id"], None),
            "unknown task": (FIRST_COMPANY, fixed_id("request:nowhere"), None),
            "task id that is no id": (FIRST_COMPANY, "../" + task["id"], None),
            "company the operator does not serve": (SECOND_ONLY_COMPANY, task["id"], None),
            "another operator expected": (FIRST_COMPANY, task["id"], SECOND_EDITOR_ID),
        }
        for name, (company, request_id, operator) in rows.items():
            with self.subTest(name):
                result = self.get(company, request_id, operator=operator)
                self.assertNotEqual(result.code, 0)
                self.assertEqual(result.stdout, b"")
                self.assertIsInstance(result.error(), str)
        with self.subTest("unknown and foreign tasks read alike"):
            self.assertEqual(self.get(FIRST_COMPANY, other["id"]).error(),
                             self.get(FIRST_COMPANY, fixed_id("request:nowhere")).error())


if __name__ == "__main__":
    unittest.main()
