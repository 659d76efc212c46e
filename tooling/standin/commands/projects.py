from ..tool import command

S, P = "desktop_projects.py", "--proposal-id"

command(S, "clearProjectRegistration", "clear-registration", 1, values={"--inbox", P}, required={"--inbox", P},
        order="clear-registration --inbox --proposal-id".split())
command(S, "projectVersions", "list", 1, values={"--inbox", P}, required={"--inbox", P},
        order="list --inbox --proposal-id".split())
command(S, "preserveProject", "preserve", 1, values={"--inbox", P, "--project"}, flags={"--remember-project"},
        required={"--inbox", P, "--project"},
        order="preserve --inbox --proposal-id --project --remember-project".split())
