"""desktop_profile.py get, update and participants: answers in the form the application checks."""
import base64
import json
import unittest
import uuid

from standin_helpers import EDITOR_ID, SECOND_EDITOR_ID, StandinCase
from standin.seed import fixed_id

PROFILE = "desktop_profile.py"
PERSON_KEYS = {"userID", "displayName", "avatarJPEGBase64", "updatedAt"}


class ProfileTool(StandinCase, unittest.TestCase):
    def profile(self, *arguments, user=EDITOR_ID):
        return self.run_tool(PROFILE, "--credentials-file", "-", *arguments, session=self.session(user))

    def check_person(self, person):
        self.assertEqual(set(person), PERSON_KEYS)
        self.assertEqual(str(uuid.UUID(person["userID"])), person["userID"])
        if person["avatarJPEGBase64"] is not None:
            photo = base64.b64decode(person["avatarJPEGBase64"], validate=True)
            self.assertTrue(photo.startswith(b"\xff\xd8\xff"))
            self.assertLessEqual(len(photo), 65536)
            self.assertEqual(base64.b64encode(photo).decode(), person["avatarJPEGBase64"])

    def test_get_update_and_get_again(self):
        first = self.profile("get")
        self.assertEqual(first.code, 0, first.stderr)
        answer = first.json()
        self.assertEqual(set(answer), {"schemaVersion", "profile"})
        self.assertEqual(answer["profile"], {"userID": EDITOR_ID, "displayName": "Demo Editor",
                                             "avatarJPEGBase64": None, "updatedAt": None})

        photo = self.tools.root / "photo.jpg"
        photo.write_bytes((self.tools.root / "standin/photos/person0.jpg").read_bytes())
        # A name that begins with "-" is a value, not an option.
        updated = self.profile("--expected-user-id", EDITOR_ID, "update", "--display-name", "-Ny Redaktør",
                               "--avatar-jpeg", str(photo))
        self.assertEqual(updated.code, 0, updated.stderr)
        person = updated.json()["profile"]
        self.check_person(person)
        self.assertEqual(person["displayName"], "-Ny Redaktør")
        self.assertEqual(base64.b64decode(person["avatarJPEGBase64"]), photo.read_bytes())
        self.assertEqual(self.profile("--expected-user-id", EDITOR_ID, "get").json()["profile"], person)

        cleared = self.profile("--expected-user-id", EDITOR_ID, "update", "--display-name", "Demo Editor",
                               "--clear-avatar").json()["profile"]
        self.assertIsNone(cleared["avatarJPEGBase64"])

    def test_update_refusals(self):
        photo = self.tools.root / "not.jpg"
        photo.write_bytes(b"\x89PNG\r\n\x1a\n")
        for arguments in (["--display-name", " padded", "--clear-avatar"],
                          ["--display-name", "x" * 101, "--clear-avatar"],
                          ["--display-name", "Tab\there", "--clear-avatar"],
                          ["--display-name", "Name", "--avatar-jpeg", str(photo)],
                          ["--display-name", "Name"]):
            with self.subTest(arguments=arguments):
                result = self.profile("--expected-user-id", EDITOR_ID, "update", *arguments)
                self.assertNotEqual(result.code, 0)
                self.assertTrue(result.error())
        other = self.profile("--expected-user-id", SECOND_EDITOR_ID, "get")
        self.assertNotEqual(other.code, 0)

    def test_participants(self):
        conn = self.conn()
        tasks = conn.execute("SELECT r.id, r.submitted_by, r.claimed_by FROM requests r JOIN operator_companies oc"
                             " ON oc.company_id = r.company_id WHERE oc.operator_id = ? ORDER BY r.id LIMIT 20",
                             (EDITOR_ID,)).fetchall()
        conn.close()
        ids = [task["id"] for task in tasks]
        result = self.profile("--expected-user-id", EDITOR_ID, "participants", "--request-ids", *ids)
        self.assertEqual(result.code, 0, result.stderr)
        answer = result.json()
        self.assertEqual(set(answer), {"schemaVersion", "items"})
        self.assertEqual([item["requestID"] for item in answer["items"]], ids)
        photos = 0
        for task, item in zip(tasks, answer["items"]):
            self.assertEqual(set(item), {"requestID", "customer", "instructor"})
            self.check_person(item["customer"])
            self.assertEqual(item["customer"]["userID"], task["submitted_by"])
            if task["claimed_by"]:
                self.check_person(item["instructor"])
                self.assertEqual(item["instructor"]["userID"], task["claimed_by"])
            else:
                self.assertIsNone(item["instructor"])
            photos += item["customer"]["avatarJPEGBase64"] is not None
        self.assertGreater(photos, 0)
        self.assertIn(fixed_id("customer:0"), {item["customer"]["userID"] for item in answer["items"]})

        unknown = self.profile("--expected-user-id", EDITOR_ID, "participants", "--request-ids", str(uuid.uuid4()))
        self.assertNotEqual(unknown.code, 0)
        many = self.profile("--expected-user-id", EDITOR_ID, "participants", "--request-ids",
                            *[str(uuid.uuid4()) for _ in range(21)])
        self.assertNotEqual(many.code, 0)

    def test_scenario_hook(self):
        self.write_scenario({"profileGet": {"mode": "answer", "json": {"schemaVersion": 2}}})
        self.assertEqual(json.loads(self.profile("get").stdout), {"schemaVersion": 2})


if __name__ == "__main__":
    unittest.main()
