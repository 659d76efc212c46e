import json
import os
import shutil
import tempfile
import unittest
from pathlib import Path

from standin_helpers import EDITOR_ID, SECOND_EDITOR_ID, StandinCase
from standin import db

SERVICE, CLOUD, BRIDGE = "desktop_service.py", "desktop_cloud.py", "editor_bridge.py"


class SessionCheckTest(StandinCase, unittest.TestCase):
    def companies(self, session=None, stdin=None, *extra):
        return self.run_tool(SERVICE, "companies", "--credentials", "-", *extra, session=session, stdin=stdin)

    def test_issued_session_is_accepted(self):
        result = self.companies(self.session(), None, "--expected-operator-id", EDITOR_ID)
        self.assertEqual(result.code, 0, result.stderr)
        self.assertEqual(result.json()["operatorID"], EDITOR_ID)

    def test_sessions_that_must_be_refused(self):
        good = self.session()
        expired = self.session(lifetime=-1)
        recovery = self.session(kind="recovery")
        conn = self.conn()
        revoked = self.session()
        conn.execute("UPDATE auth_sessions SET revoked = 1 WHERE id = (SELECT session_id FROM access_tokens"
                     " WHERE token = ?)", (db.digest(revoked["access_token"]),))
        conn.close()
        rows = {
            "unknown token": dict(good, access_token="not-issued-here"),
            "expired": expired,
            "revoked": revoked,
            "recovery session": recovery,
            "other user id": dict(good, user_id=SECOND_EDITOR_ID),
            "upper-case user id": dict(good, user_id=EDITOR_ID.upper()),
            "extra key": dict(good, refresh_token="x"),
            "missing key": {k: v for k, v in good.items() if k != "expires_at"},
            "expires_at as text": dict(good, expires_at=str(good["expires_at"])),
        }
        for name, document in rows.items():
            with self.subTest(name):
                result = self.companies(document)
                self.assertNotEqual(result.code, 0)
                self.assertIsInstance(result.error(), str)
                self.assertEqual(result.stdout, b"")
        with self.subTest("not JSON"):
            self.assertNotEqual(self.companies(None, b"access_token=abc").code, 0)
        with self.subTest("oversized input"):
            self.assertNotEqual(self.companies(None, b" " * 32769).code, 0)

    def test_expected_operator_must_match(self):
        result = self.companies(self.session(), None, "--expected-operator-id", SECOND_EDITOR_ID)
        self.assertNotEqual(result.code, 0)
        self.assertIn("redaktør", result.error())

    def test_credentials_file_path_is_read(self):
        path = Path(self.tmp.name) / "credentials.json"
        path.write_text(json.dumps(self.session()))
        result = self.run_tool(SERVICE, "companies", "--credentials", str(path))
        self.assertEqual(result.code, 0, result.stderr)


class CompanyPagingTest(StandinCase, unittest.TestCase):
    def page(self, session, after=None):
        extra = ["--after-company-id", after] if after else []
        result = self.run_tool(SERVICE, "companies", "--credentials", "-", *extra, session=session)
        self.assertEqual(result.code, 0, result.stderr)
        return result.json()

    def test_pages_of_fifty_in_ascending_id_order(self):
        session = self.session(SECOND_EDITOR_ID)
        first = self.page(session)
        ids = [c["id"] for c in first["companies"]]
        self.assertEqual(len(ids), 50)
        self.assertEqual(ids, sorted(ids))
        self.assertEqual(first["nextCompanyID"], ids[-1])
        second = self.page(session, first["nextCompanyID"])
        self.assertNotIn("nextCompanyID", second)
        self.assertEqual(len(second["companies"]), 5)
        self.assertTrue(all(c["id"] > ids[-1] for c in second["companies"]))
        self.assertEqual(set(first), {"operatorID", "companies", "nextCompanyID"})

    def test_small_directory_is_one_page_and_bad_cursor_is_refused(self):
        page = self.page(self.session())
        self.assertEqual(len(page["companies"]), 3)
        self.assertNotIn("nextCompanyID", page)
        result = self.run_tool(SERVICE, "companies", "--credentials", "-", "--after-company-id", "-1",
                               session=self.session())
        self.assertNotEqual(result.code, 0)


class PackageFlowTest(StandinCase, unittest.TestCase):
    needs_media = True

    def film_backup(self, session):
        conn = self.conn()
        row = conn.execute("SELECT b.id, b.company_id FROM backups b JOIN requests r ON r.backup_id = b.id"
                           " WHERE r.kind = 'filmEditing' ORDER BY b.id LIMIT 1").fetchone()
        conn.close()
        return row["id"], row["company_id"]

    def pull(self, session, company, backup):
        return self.run_tool(CLOUD, "--credentials-file", "-", "--company", company, "pull", backup,
                             "--inbox", str(self.inbox), session=session)

    def test_restore_lists_prepares_and_writes_a_timeline(self):
        session = self.session()
        backup, company = self.film_backup(session)
        listing = self.run_tool(CLOUD, "--credentials-file", "-", "--company", company, "list", session=session)
        self.assertIn(backup, [b["id"] for b in listing.json()["backups"]])
        restored = self.pull(session, company, backup)
        self.assertEqual(restored.code, 0, restored.stderr)
        self.assertTrue(restored.json()["verified"])
        inventory = self.run_tool(BRIDGE, "--inbox", str(self.inbox), "list").json()
        self.assertEqual(inventory["invalidPackages"], [])
        package = inventory["packages"][0]
        self.assertEqual(package["counts"], {"usable": 3, "context": 1, "rejected": 1})
        context = self.run_tool(BRIDGE, "--inbox", str(self.inbox), "context", package["packageID"]).json()
        prepared = self.run_tool(BRIDGE, "--inbox", str(self.inbox), "prepare", package["packageID"],
                                 "--fingerprint", package["fingerprint"],
                                 "--context-revision", context["contextRevision"])
        self.assertEqual(prepared.code, 0, prepared.stderr)
        handoff = prepared.json()
        self.assertEqual(handoff["clipCount"], 3)
        self.assertTrue(Path(handoff["folder"], "writer-start.md").is_file())
        self.assertIn("<fcpxml", Path(handoff["fcpxml"]).read_text())
        self.assertTrue(handoff["timelineFormat"]["mixedSourceFormats"] is False)
        self.assertEqual(handoff["timelineFormat"]["origin"], "selectedSource")

    def test_stale_fingerprint_and_context_revision_are_refused(self):
        session = self.session()
        backup, company = self.film_backup(session)
        self.pull(session, company, backup)
        package = self.run_tool(BRIDGE, "--inbox", str(self.inbox), "list").json()["packages"][0]
        for extra in (["--fingerprint", "0" * 64], ["--fingerprint", package["fingerprint"],
                                                    "--context-revision", "ctx-old"]):
            with self.subTest(extra=extra):
                result = self.run_tool(BRIDGE, "--inbox", str(self.inbox), "prepare", package["packageID"], *extra)
                self.assertNotEqual(result.code, 0)
                self.assertFalse((self.inbox / "handoffs").exists() and any((self.inbox / "handoffs").iterdir()))

    def fresh_inbox(self):
        """An empty project folder and no cloud copies, keeping the database and its sessions."""
        self.inbox = Path(tempfile.mkdtemp(prefix="inbox-", dir=self.tmp.name))
        shutil.rmtree(self.tools.cloud_store, ignore_errors=True)

    def visible(self, inbox=None):
        """Every name in the project folder, hidden ones included."""
        return sorted(p.name for p in (inbox or self.inbox).iterdir())

    def cloud_copy(self, session, company, backup):
        """Makes the service's copy of a backup by restoring it into a folder of its own."""
        elsewhere = Path(self.tmp.name) / ("elsewhere-" + self.inbox.name)
        elsewhere.mkdir()
        result = self.run_tool(CLOUD, "--credentials-file", "-", "--company", company, "pull", backup,
                               "--inbox", str(elsewhere), session=session)
        self.assertEqual(result.code, 0, result.stderr)
        return self.tools.cloud_store / backup / "files"

    def test_an_unverified_restore_never_becomes_visible(self):
        session = self.session()
        backup, company = self.film_backup(session)

        def change_one_byte(files):
            target = files / "media" / "still-logo.jpg"
            target.write_bytes(target.read_bytes()[:-1] + b"\x00")

        def remove_one_file(files):
            (files / "media" / "still-logo.jpg").unlink()

        for name, damage in (("changed byte", change_one_byte), ("missing file", remove_one_file)):
            with self.subTest(name):
                self.fresh_inbox()
                damage(self.cloud_copy(session, company, backup))
                restored = self.pull(session, company, backup)
                self.assertEqual(restored.code, 0, restored.stderr)
                answer = restored.json()
                self.assertEqual(set(answer), {"companyID", "backupID", "folder", "verified"})
                self.assertIs(answer["verified"], False)
                self.assertEqual((answer["companyID"], answer["backupID"]), (company, backup))
                self.assertEqual(self.visible(), [], "nothing of the restore may stay in the project folder")
                inventory = self.run_tool(BRIDGE, "--inbox", str(self.inbox), "list").json()
                self.assertEqual(inventory, {"packages": [], "invalidPackages": []})

    def test_an_existing_package_folder_is_never_replaced(self):
        session = self.session()
        backup, company = self.film_backup(session)
        first = self.pull(session, company, backup)
        self.assertTrue(first.json()["verified"])
        folder = Path(first.json()["folder"])
        before = {p.relative_to(folder): p.read_bytes() for p in folder.rglob("*") if p.is_file()}
        # A later damaged cloud copy must not reach the good one either.
        cloud_file = self.tools.cloud_store / backup / "files" / "media" / "still-logo.jpg"
        cloud_file.write_bytes(cloud_file.read_bytes()[:-1] + b"\x00")
        for name in ("damaged copy", "intact copy"):
            with self.subTest(name):
                again = self.pull(session, company, backup)
                self.assertNotEqual(again.code, 0)
                self.assertEqual(again.stdout, b"")
                self.assertIn(folder.name, again.error())
                self.assertIn("overskrives aldrig", again.error())
                after = {p.relative_to(folder): p.read_bytes() for p in folder.rglob("*") if p.is_file()}
                self.assertEqual(after, before)
                self.assertEqual(self.visible(), [folder.name])
            shutil.rmtree(self.tools.cloud_store, ignore_errors=True)  # an intact copy next time

    def test_any_entry_under_the_package_name_blocks_the_restore(self):
        session = self.session()
        backup, company = self.film_backup(session)
        name = Path(self.pull(session, company, backup).json()["folder"]).name
        for kind in ("file", "empty folder", "dangling link"):
            with self.subTest(kind):
                self.fresh_inbox()
                target = self.inbox / name
                if kind == "file":
                    target.write_text("mine")
                elif kind == "empty folder":
                    target.mkdir()
                else:
                    target.symlink_to(self.inbox / "nowhere")
                result = self.pull(session, company, backup)
                self.assertNotEqual(result.code, 0)
                self.assertTrue(os.path.lexists(target))
                self.assertEqual(self.visible(), [name])
                if kind == "file":
                    self.assertEqual(target.read_text(), "mine")

    def test_restores_and_handoffs_never_write_outside_their_folder(self):
        """Names that come from the service or from the disk cannot lead a write out of its folder:
        ".." and absolute paths in a backup record, and folders that are symbolic links elsewhere."""
        session = self.session()
        backup, company = self.film_backup(session)
        conn = self.conn()
        original = conn.execute("SELECT local_project_id, package FROM backups WHERE id = ?", (backup,)).fetchone()
        conn.close()

        def record(project_id=None, path=None, media=None):
            package = json.loads(original["package"])
            if path is not None:
                package["files"][0]["path"] = path
            if media is not None:
                package["files"][0]["media"] = media
            conn = self.conn()
            with db.transaction(conn):
                conn.execute("UPDATE backups SET local_project_id = ?, package = ? WHERE id = ?",
                             (project_id or original["local_project_id"], json.dumps(package), backup))
            conn.close()

        rows = [
            ("project id climbs out", dict(project_id="../escape")),
            ("project id is absolute", dict(project_id=str(Path(self.tmp.name) / "absolute"))),
            ("file path climbs out", dict(path="../../escape.jpg")),
            ("file path is absolute", dict(path=str(Path(self.tmp.name) / "absolute.jpg"))),
            ("file path hides a climb", dict(path="media/../../../escape.jpg")),
            ("media name climbs out", dict(media="../../../../escape.jpg")),
        ]
        for name, change in rows:
            with self.subTest(name):
                self.fresh_inbox()
                record(**change)
                before = sorted(p.name for p in Path(self.tmp.name).iterdir())
                result = self.pull(session, company, backup)
                self.assertNotEqual(result.code, 0)
                self.assertIn("uden for", result.error())
                self.assertEqual(sorted(p.name for p in Path(self.tmp.name).iterdir()), before)
                self.assertEqual(self.visible(), [])
                self.assertEqual([p for p in self.tools.root.rglob("*escape*")], [])
        record()

        # The hand-off folder, and a package folder, that are links to somewhere else.
        self.fresh_inbox()
        self.assertEqual(self.pull(session, company, backup).code, 0)
        package = self.run_tool(BRIDGE, "--inbox", str(self.inbox), "list").json()["packages"][0]
        context = self.run_tool(BRIDGE, "--inbox", str(self.inbox), "context", package["packageID"]).json()
        elsewhere = Path(tempfile.mkdtemp(prefix="elsewhere-", dir=self.tmp.name))
        (self.inbox / "handoffs").symlink_to(elsewhere)
        prepared = self.run_tool(BRIDGE, "--inbox", str(self.inbox), "prepare", package["packageID"],
                                 "--fingerprint", package["fingerprint"],
                                 "--context-revision", context["contextRevision"])
        self.assertNotEqual(prepared.code, 0)
        self.assertEqual(list(elsewhere.iterdir()), [])
        (self.inbox / "handoffs").unlink()
        linked_home = Path(tempfile.mkdtemp(prefix="other-project-", dir=self.tmp.name))
        real = next(p for p in self.inbox.iterdir() if not p.name.startswith("."))
        shutil.move(str(real), str(linked_home / real.name))
        (self.inbox / real.name).symlink_to(linked_home / real.name)
        listing = self.run_tool(BRIDGE, "--inbox", str(self.inbox), "list").json()
        self.assertEqual(listing["packages"], [])

    def test_foreign_company_and_unknown_backup_are_refused(self):
        session = self.session()
        backup, company = self.film_backup(session)
        conn = self.conn()
        foreign = conn.execute("SELECT company_id FROM operator_companies WHERE operator_id = ? AND company_id"
                               " NOT IN (SELECT company_id FROM operator_companies WHERE operator_id = ?)",
                               (SECOND_EDITOR_ID, EDITOR_ID)).fetchone()[0]
        conn.close()
        for company_arg, backup_arg in ((foreign, backup), (company, "no-such-backup"), ("", backup)):
            with self.subTest(company=company_arg, backup=backup_arg):
                self.assertNotEqual(self.pull(session, company_arg, backup_arg).code, 0)


class ScenarioHookTest(StandinCase, unittest.TestCase):
    def inventory(self):
        return self.run_tool(BRIDGE, "--inbox", str(self.inbox), "list")

    def test_modes(self):
        self.write_scenario({"inventory": {"mode": "fail", "error": "Simuleret fejl.", "exit_code": 3}})
        result = self.inventory()
        self.assertEqual((result.code, result.error()), (3, "Simuleret fejl."))

        self.write_scenario({"inventory": {"mode": "signal", "signal": "SIGKILL"}})
        self.assertEqual(self.inventory().code, -9)

        self.write_scenario({"inventory": {"mode": "malformed"}})
        result = self.inventory()
        self.assertEqual(result.code, 0)
        with self.assertRaises(ValueError):
            result.json()

        self.write_scenario({"inventory": {"mode": "oversized", "bytes": 1000}})
        result = self.inventory()
        self.assertEqual(len(result.stdout), 1000)
        result.json()

        self.write_scenario({"inventory": {"mode": "wrong_keys", "drop": ["invalidPackages"]}})
        self.assertEqual(set(self.inventory().json()), {"packages"})

    def test_times_limits_a_rule_and_other_commands_are_untouched(self):
        self.write_scenario({"inventory": {"mode": "fail", "times": 1}})
        self.assertNotEqual(self.inventory().code, 0)
        self.assertEqual(self.inventory().code, 0)
        self.write_scenario({"context": {"mode": "fail"}})
        self.assertEqual(self.inventory().code, 0)

    def test_runs_are_recorded_with_tokens_masked(self):
        session = self.session()
        self.run_tool(SERVICE, "companies", "--credentials", "-", session=session)
        self.inventory()
        runs = self.runs()
        self.assertEqual(runs[0]["arguments"], ["companies", "--credentials", "-"])
        self.assertEqual(runs[0]["command"], "serviceCompanies")
        self.assertEqual(runs[0]["stdin"]["access_token"], "***")
        self.assertEqual(runs[0]["stdin"]["user_id"], EDITOR_ID)
        self.assertNotIn(session["access_token"], self.tools.runs.read_text())
        self.assertIsNone(runs[1]["stdin"])
        self.assertTrue(runs[1]["dont_write_bytecode"])

    def test_unbuilt_and_malformed_commands_answer_an_error(self):
        # Commands get their handlers over time: the first one still without a handler answers the error.
        from standin import commands, tool  # noqa: F401  (fills the registry)
        candidates = [
            ("editor_connection.py", ["--inbox", str(self.inbox)], "mcpConnection"),
            (SERVICE, ["template", "r1", "--inbox", str(self.inbox), "--handoff-id", "h"], "proposalTemplate"),
            (SERVICE, ["--expected-operator-id", EDITOR_ID, "--credentials-file", "-", "--company", "c", "feedback",
                       "r1", "--inbox", str(self.inbox)], "serviceFeedback"),
        ]
        unbuilt = [c for c in candidates
                   if any(e.case == c[2] and e.handler is None for e in tool.REGISTRY[c[0]].values())]
        for script, arguments, case in unbuilt[:1]:
            result = self.run_tool(script, *arguments)
            self.assertNotEqual(result.code, 0)
            self.assertIn(case, result.error())
        result = self.run_tool(BRIDGE, "--inbox", str(self.inbox), "explode")
        self.assertNotEqual(result.code, 0)
        self.assertIsInstance(result.error(), str)


class ResetTest(StandinCase, unittest.TestCase):
    def dump(self):
        conn = self.conn()
        lines = [line for line in conn.iterdump() if "password_" not in line and "INSERT INTO \"users\"" not in line]
        users = conn.execute("SELECT id, email, display_name, is_operator FROM users ORDER BY id").fetchall()
        conn.close()
        return lines, [tuple(u) for u in users]

    def test_reset_gives_the_same_content_and_drops_changes(self):
        first = self.dump()
        conn = self.conn()
        with db.transaction(conn):
            conn.execute("UPDATE requests SET status = 'active'")
        conn.close()
        from standin import reset
        reset.reset(self.tools, with_media=False)
        self.assertEqual(self.dump(), first)

    def test_demo_covers_every_kind_status_and_stage(self):
        conn = self.conn()
        pairs = {tuple(r) for r in conn.execute("SELECT kind, status FROM requests")}
        stages = {r[0] for r in conn.execute("SELECT stage FROM films")}
        conn.close()
        self.assertEqual(len(pairs), 18)
        self.assertEqual(stages, {"idea", "brief", "script", "recording", "production", "review", "delivery"})


if __name__ == "__main__":
    unittest.main()
