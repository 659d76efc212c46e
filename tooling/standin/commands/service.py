from ..tool import command
from .common import PAGE_SIZE, uuid_text

S = "desktop_service.py"
OP, CF, C, I = "--expected-operator-id", "--credentials-file", "--company", "--inbox"


def credentialed(case, word, positionals=0, values=(), flags=(), required=(), optional_operator=True, order=()):
    """A task command: the operator pair and the credentials come first, then `order`."""
    base = {OP, CF}
    return command(S, case, word, positionals, values=base | set(values), flags=flags,
                   required={CF} | set(required) | (set() if optional_operator else {OP}), credentials=CF,
                   order=[OP, CF, *order])


@command(S, "serviceCompanies", "companies", values={"--credentials", OP, "--after-company-id"},
         required={"--credentials"}, credentials="--credentials",
         order="companies --credentials --expected-operator-id --after-company-id".split())
def companies(ctx):
    operator = ctx.operator()
    after = ctx.args.get("--after-company-id")
    after = uuid_text(after, "Virksomhedens") if after is not None else ""
    rows = ctx.conn.execute(
        "SELECT c.id, c.name FROM companies c JOIN operator_companies oc ON oc.company_id = c.id"
        " WHERE oc.operator_id = ? AND c.id > ? ORDER BY c.id LIMIT ?",
        (operator, after, PAGE_SIZE + 1)).fetchall()
    page = rows[:PAGE_SIZE]
    answer = {"operatorID": operator, "companies": [{"id": r["id"], "name": r["name"]} for r in page]}
    if len(rows) > PAGE_SIZE:
        answer["nextCompanyID"] = page[-1]["id"]
    return answer


credentialed("serviceList", "list", values={C}, required={C},
             order="--company list".split())
credentialed("serviceInbox", "inbox", values={"--cursor"},
             order="inbox --cursor".split())
credentialed("servicePipeline", "pipeline", values={C, "--after-film-id"}, required={C}, optional_operator=False,
             order="--company pipeline --after-film-id".split())
credentialed("serviceClaimNext", "claim-next", values={"--command-id"}, required={"--command-id"},
             optional_operator=False,
             order="claim-next --command-id".split())
credentialed("serviceStart", "start", 1, values={C, "--revision"}, required={C, "--revision"},
             optional_operator=False,
             order="--company start --revision".split())
credentialed("serviceMetadataSettings", "metadata-settings", values={C}, required={C}, optional_operator=False,
             order="--company metadata-settings".split())
credentialed("serviceMetadataConsent", "metadata-consent",
             values={C, "--revision", "--allow-pipeline", "--contact-name"},
             required={C, "--revision", "--allow-pipeline"}, optional_operator=False,
             order="--company metadata-consent --revision --allow-pipeline --contact-name".split())
credentialed("serviceGet", "get", 1, values={C}, required={C},
             order="--company get".split())
credentialed("serviceHistory", "history", 1, values={C, I}, required={C, I},
             order="--company history --inbox".split())
credentialed("serviceReviewPull", "review-pull", 1, values={C, I, "--proposal-id"},
             required={C, I, "--proposal-id"}, optional_operator=False,
             order="--company review-pull --inbox --proposal-id".split())
credentialed("serviceFeedback", "feedback", 1, values={C, I}, required={C, I}, optional_operator=False,
             order="--company feedback --inbox".split())
credentialed("serviceFeedbackPull", "feedback-pull", 1, values={C, I, "--decision-id", "--reaction-id"},
             required={C, I, "--decision-id", "--reaction-id"}, optional_operator=False,
             order="--company feedback-pull --inbox --decision-id --reaction-id".split())
credentialed("serviceClaim", "claim", 1, values={C, "--revision"}, required={C, "--revision"},
             order="--company claim --revision".split())
credentialed("servicePull", "pull", 1, values={C, I}, required={C, I},
             order="--company pull --inbox".split())
credentialed("servicePullFilm", "pull-film", 1, values={C, I}, required={C, I},
             order="--company pull-film --inbox".split())
command(S, "packageFilm", "package-film", 1, values={I}, required={I},
        order="package-film --inbox".split())
command(S, "relinkFilm", "relink-film", 1, values={I}, required={I},
        order="relink-film --inbox".split())
command(S, "proposalTemplate", "template", 1, values={I, "--handoff-id"}, required={I, "--handoff-id"},
        order="template --inbox --handoff-id".split())
command(S, "serviceWorkspaces", "workspaces", 1, values={I}, required={I},
        order="workspaces --inbox".split())
command(S, "proposalPreview", "preview", 1, values={I, "--handoff-id", "--revision"},
        required={I, "--handoff-id", "--revision"},
        order="preview --inbox --handoff-id --revision".split())
credentialed("proposalSend", "send", 1,
             values={C, I, "--handoff-id", "--proposal-id", "--content-hash", "--revision"},
             flags={"--confirm-send"},
             required={C, I, "--handoff-id", "--proposal-id", "--content-hash", "--revision", "--confirm-send"},
             order="--company send --inbox --handoff-id --proposal-id --content-hash --revision --confirm-send".split())
