from ..tool import command
from .common import PAGE_SIZE, uuid_text

S = "desktop_service.py"
OP, CF, C, I = "--expected-operator-id", "--credentials-file", "--company", "--inbox"


def credentialed(case, word, positionals=0, values=(), flags=(), required=(), optional_operator=True):
    base = {OP, CF}
    return command(S, case, word, positionals, values=base | set(values), flags=flags,
                   required={CF} | set(required) | (set() if optional_operator else {OP}), credentials=CF)


@command(S, "serviceCompanies", "companies", values={"--credentials", OP, "--after-company-id"},
         required={"--credentials"}, credentials="--credentials")
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


credentialed("serviceList", "list", values={C}, required={C})
credentialed("serviceInbox", "inbox", values={"--cursor"})
credentialed("servicePipeline", "pipeline", values={C, "--after-film-id"}, required={C}, optional_operator=False)
credentialed("serviceClaimNext", "claim-next", values={"--command-id"}, required={"--command-id"},
             optional_operator=False)
credentialed("serviceStart", "start", 1, values={C, "--revision"}, required={C, "--revision"},
             optional_operator=False)
credentialed("serviceMetadataSettings", "metadata-settings", values={C}, required={C}, optional_operator=False)
credentialed("serviceMetadataConsent", "metadata-consent",
             values={C, "--revision", "--allow-pipeline", "--contact-name"},
             required={C, "--revision", "--allow-pipeline"}, optional_operator=False)
credentialed("serviceGet", "get", 1, values={C}, required={C})
credentialed("serviceHistory", "history", 1, values={C, I}, required={C, I})
credentialed("serviceReviewPull", "review-pull", 1, values={C, I, "--proposal-id"},
             required={C, I, "--proposal-id"}, optional_operator=False)
credentialed("serviceFeedback", "feedback", 1, values={C, I}, required={C, I}, optional_operator=False)
credentialed("serviceFeedbackPull", "feedback-pull", 1, values={C, I, "--decision-id", "--reaction-id"},
             required={C, I, "--decision-id", "--reaction-id"}, optional_operator=False)
credentialed("serviceClaim", "claim", 1, values={C, "--revision"}, required={C, "--revision"})
credentialed("servicePull", "pull", 1, values={C, I}, required={C, I})
credentialed("servicePullFilm", "pull-film", 1, values={C, I}, required={C, I})
command(S, "packageFilm", "package-film", 1, values={I}, required={I})
command(S, "relinkFilm", "relink-film", 1, values={I}, required={I})
command(S, "proposalTemplate", "template", 1, values={I, "--handoff-id"}, required={I, "--handoff-id"})
command(S, "serviceWorkspaces", "workspaces", 1, values={I}, required={I})
command(S, "proposalPreview", "preview", 1, values={I, "--handoff-id", "--revision"},
        required={I, "--handoff-id", "--revision"})
credentialed("proposalSend", "send", 1,
             values={C, I, "--handoff-id", "--proposal-id", "--content-hash", "--revision"},
             flags={"--confirm-send"},
             required={C, I, "--handoff-id", "--proposal-id", "--content-hash", "--revision", "--confirm-send"})
