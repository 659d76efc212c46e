import unittest

import standin_helpers  # noqa: F401  (puts the tools folder on the path)
from standin import commands  # noqa: F401  (fills the registry)
from standin.args import ArgumentError, parse_exact
from standin.tool import parse

OP, CF, C = "--expected-operator-id", "--credentials-file", "--company"
USER = "67422b41-985d-5bcc-a9db-77634c142ec5"


class ExactParserTest(unittest.TestCase):
    def parse(self, argv):
        return parse_exact(argv, values={"--company", "--revision", "--label"}, flags={"--confirm-send"},
                           multi={"--request-ids"}, commands={"claim": 1, "list": 0})

    def test_values_are_taken_as_written(self):
        rows = [
            (["--company", "-x", "list"], "--company", "-x"),
            (["--company", "--revision", "list"], "--company", "--revision"),
            (["list", "--revision", "-1"], "--revision", "-1"),
            (["list", "--label", ""], "--label", ""),
            (["list", "--label", "  spaces and \"quotes\" "], "--label", "  spaces and \"quotes\" "),
        ]
        for argv, name, value in rows:
            with self.subTest(argv=argv):
                self.assertEqual(self.parse(argv)[name], value)

    def test_positional_after_subcommand_may_look_like_a_flag(self):
        parsed = self.parse(["claim", "--confirm-send", "--revision", "3"])
        self.assertEqual(parsed.command, "claim")
        self.assertEqual(parsed.positionals, ["--confirm-send"])
        self.assertNotIn("--confirm-send", parsed)

    def test_multi_value_flag_collects_until_next_known_flag(self):
        self.assertEqual(self.parse(["list", "--request-ids"])["--request-ids"], [])
        parsed = self.parse(["list", "--request-ids", "a", "b", "--confirm-send"])
        self.assertEqual(parsed["--request-ids"], ["a", "b"])
        self.assertIn("--confirm-send", parsed)

    def test_malformed_argument_lists_are_refused(self):
        rows = [
            ["list", "--company"],  # value missing at the end
            ["list", "--company", "a", "--company", "b"],  # repeated
            ["list", "--unknown", "x"],
            ["list", "stray"],
            ["claim"],  # positional missing
            ["list", "list"],  # second subcommand
        ]
        for argv in rows:
            with self.subTest(argv=argv):
                with self.assertRaises(ArgumentError):
                    self.parse(argv)


class CommandOrderTest(unittest.TestCase):
    """Each command takes its elements in the one order the app writes them; a reordered list is the app's
    fault and must not pass unnoticed."""

    def test_the_app_order_is_accepted(self):
        rows = [
            ("desktop_service.py", ["companies", "--credentials", "-"]),
            ("desktop_service.py", ["companies", "--credentials", "-", OP, USER, "--after-company-id", USER]),
            ("desktop_service.py", [OP, USER, CF, "-", C, "c", "list"]),
            ("desktop_service.py", [CF, "/tmp/creds.json", C, "c", "list"]),
            ("desktop_service.py", [CF, "-", "inbox", "--cursor", '{"submitted_at":"x","id":"y"}']),
            ("desktop_brief.py", ["pull", "r", "--inbox", "/p", C, "c", CF, "-", OP, USER]),
            ("desktop_cloud.py", [CF, "-", "list"]),
            ("desktop_cloud.py", [CF, "-", C, "", "list"]),
            ("desktop_video.py", ["send", "r", "--inbox", "/p", CF, "-", C, "c", "--proposal-id", "p",
                                  "--qc-confirmed", "--confirm-send"]),
            ("desktop_profile.py", [CF, "-", "--expected-user-id", USER, "participants", "--request-ids"]),
            ("desktop_projects.py", ["preserve", "r", "--inbox", "/p", "--proposal-id", "p", "--project", "/x"]),
            ("editor_bridge.py", ["--inbox", "/p", "prepare", "k", "--fingerprint", "f", "--context-revision", "c"]),
        ]
        for script, argv in rows:
            with self.subTest(argv=argv):
                parse(script, argv)

    def test_a_reordered_list_is_refused(self):
        rows = [
            ("operator pair after the credentials", "desktop_service.py", [CF, "-", OP, USER, C, "c", "list"]),
            ("company after the subcommand", "desktop_service.py", [CF, "-", "list", C, "c"]),
            ("cursor before the subcommand", "desktop_service.py", [CF, "-", "--cursor", "{}", "inbox"]),
            ("paging before the operator pair", "desktop_service.py",
             ["companies", "--credentials", "-", "--after-company-id", USER, OP, USER]),
            ("brief operator pair not last", "desktop_brief.py",
             ["pull", "r", OP, USER, "--inbox", "/p", C, "c", CF, "-"]),
            ("cloud company after list", "desktop_cloud.py", [CF, "-", "list", C, "c"]),
            ("inbox after the subcommand", "editor_bridge.py", ["list", "--inbox", "/p"]),
            ("flags swapped", "desktop_video.py", ["send", "r", "--inbox", "/p", CF, "-", C, "c",
                                                   "--proposal-id", "p", "--confirm-send", "--qc-confirmed"]),
        ]
        for name, script, argv in rows:
            with self.subTest(name):
                with self.assertRaisesRegex(ArgumentError, "rækkefølge"):
                    parse(script, argv)


if __name__ == "__main__":
    unittest.main()
