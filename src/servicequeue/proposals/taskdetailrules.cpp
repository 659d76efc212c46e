#include "taskdetailrules.h"

#include "foundation/localization.h"

#include <algorithm>

namespace TaskDetailRules {

TakeOrFetch takeOrFetch(const ServiceDetail &detail, const std::optional<ServiceListing> &listing,
                        const QUrl &projectFolder, TakePlace place)
{
    using Action = TakeOrFetch::Action;
    const auto offer = [](Action action, const QString &text) {
        TakeOrFetch made;
        made.action = action;
        made.text = text;
        return made;
    };
    const ServiceReceipt &request = detail.request;
    if (request.status.is(ServiceStatus::waiting)) {
        switch (place) {
        case TakePlace::screen:
            return offer(Action::claim, loc("Tag opgaven"));
        case TakePlace::ticket:
            return {};
        case TakePlace::filmEnvelope:
            return offer(Action::waiting,
                         loc("Take the task to download its frozen instructions and original material."));
        }
    }
    if (claimedByOperator(request, listing)) {
        TakeOrFetch fetch = offer(Action::download, request.status.isClosed()
                                                        ? loc("Download submitted project for review")
                                                        : loc("Hent den indsendte projektversion"));
        fetch.enabled = !projectFolder.isEmpty();
        if (!fetch.enabled)
            fetch.note = loc("Choose a project location in Settings and connect the disk.");
        return fetch;
    }
    TakeOrFetch taken = offer(Action::taken, loc("Opgaven er taget af en anden operatør eller afsluttet."));
    // Nothing to fetch here, but the versions themselves are readable: say where.
    if (place == TakePlace::filmEnvelope && !detail.proposals.isEmpty())
        taken.note = loc("Its sent versions and the customer's feedback are listed below.");
    return taken;
}

bool claimedByOperator(const ServiceReceipt &request, const std::optional<ServiceListing> &listing)
{
    const std::optional<QString> listed = listing ? std::optional(listing->operatorID) : std::nullopt;
    return request.claimed_by == listed;
}

QList<ServiceProposal> newestFirst(QList<ServiceProposal> proposals)
{
    std::stable_sort(proposals.begin(), proposals.end(), [](const ServiceProposal &a, const ServiceProposal &b) {
        return a.version_number > b.version_number;
    });
    return proposals;
}

QList<ServiceDecision> decisionsOn(const QList<ServiceDecision> &decisions, const QString &proposalID)
{
    QList<ServiceDecision> found;
    for (const ServiceDecision &decision : decisions)
        if (decision.proposal_id == proposalID)
            found.append(decision);
    return found;
}

std::optional<QString> chosenDirection(const ServiceDecision &decision, const ProposalContent &content)
{
    if (!decision.selected_option_id)
        return std::nullopt;
    for (const auto &option : content.concept_options)
        if (option.id == *decision.selected_option_id)
            return option.title;
    return std::nullopt;
}

bool deliveryReady(const ServiceReceipt &request, const std::optional<ServiceDownload> &download)
{
    return download && download->verified && download->request.id == request.id
        && download->companyID == request.company_id;
}

QString shortHandoffID(const QString &id)
{
    // Ids made on this machine lead with their kind ("writing-…", "edit-…"):
    // the kind is the same for every folder of a task, so the label counts
    // from the part that tells them apart. A UUID's first group is all hex
    // digits and never reads as such a word.
    const qsizetype dash = id.indexOf(u'-');
    const QStringView word = QStringView(id).left(qMax<qsizetype>(dash, 0));
    const bool letters = !word.isEmpty()
        && std::all_of(word.begin(), word.end(), [](QChar c) { return c.isLetter() && c.unicode() < 128; });
    const bool hex = std::all_of(word.begin(), word.end(), [](QChar c) {
        return c.isDigit() || (c.toLower() >= u'a' && c.toLower() <= u'f');
    });
    if (letters && !hex && dash + 1 < id.size())
        return id.mid(dash + 1, 8);
    return id.left(8);
}

} // namespace TaskDetailRules
