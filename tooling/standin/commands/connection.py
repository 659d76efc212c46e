from ..tool import command

command("editor_connection.py", "mcpConnection", None, values={"--inbox"}, required={"--inbox"},
        order="--inbox".split())
