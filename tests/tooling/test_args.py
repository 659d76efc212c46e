import unittest

import standin_helpers  # noqa: F401  (puts the tools folder on the path)
from standin.args import ArgumentError, parse_exact


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


if __name__ == "__main__":
    unittest.main()
