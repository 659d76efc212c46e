from ..tool import command

OP, CF, C = "--expected-operator-id", "--credentials-file", "--company"

command("desktop_brief.py", "serviceBriefPull", "pull", 1, values={"--inbox", C, CF, OP},
        required={"--inbox", C, CF, OP}, credentials=CF,
        order="pull --inbox --company --credentials-file --expected-operator-id".split())
