"""desktop_brief.py pull: the customer's current brief of a task, kept beside its pulled package.

The answer is the brief as the service has it now (original and effective instructions, the amendment in
force), stamped with the package's context revision once it is kept, so the context command reads the
same brief right after."""
from .. import briefs
from ..tool import command
from .common import served_company
from .service_actions import pulled_package
from .service_tasks import company_task

OP, CF, C = "--expected-operator-id", "--credentials-file", "--company"


@command("desktop_brief.py", "serviceBriefPull", "pull", 1, values={"--inbox", C, CF, OP},
         required={"--inbox", C, CF, OP}, credentials=CF,
         order="pull --inbox --company --credentials-file --expected-operator-id".split())
def brief_pull(ctx):
    operator = ctx.operator()
    company = served_company(ctx.conn, operator, ctx.args[C])
    inbox = ctx.inbox()
    task = company_task(ctx.conn, company["id"], ctx.positional())
    folder, _ = pulled_package(inbox, task["id"])
    return briefs.store(folder, briefs.observe(ctx.conn, task))
