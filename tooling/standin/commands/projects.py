"""desktop_projects.py: copies of the native editor project kept beside each video version."""
from pathlib import Path

from .. import drafts
from ..tool import command
from .video import film_task

S, P = "desktop_projects.py", "--proposal-id"


@command(S, "clearProjectRegistration", "clear-registration", 1, values={"--inbox", P}, required={"--inbox", P},
         order="clear-registration --inbox --proposal-id".split())
def clear_registration(ctx):
    inbox = ctx.inbox()
    task = film_task(ctx.conn, ctx.positional())
    drafts.clear_registration(inbox, task["id"])
    return drafts.versions(inbox, task["id"], ctx.args[P])


@command(S, "projectVersions", "list", 1, values={"--inbox", P}, required={"--inbox", P},
         order="list --inbox --proposal-id".split())
def list_versions(ctx):
    inbox = ctx.inbox()
    task = film_task(ctx.conn, ctx.positional())
    return drafts.versions(inbox, task["id"], ctx.args[P])


@command(S, "preserveProject", "preserve", 1, values={"--inbox", P, "--project"}, flags={"--remember-project"},
         required={"--inbox", P, "--project"},
         order="preserve --inbox --proposal-id --project --remember-project".split())
def preserve(ctx):
    inbox = ctx.inbox()
    task = film_task(ctx.conn, ctx.positional())
    return drafts.preserve(inbox, task["id"], ctx.args[P], Path(ctx.args["--project"]),
                           "--remember-project" in ctx.args)
