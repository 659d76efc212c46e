#include "servicetaskdetail.h"

#include "foundation/ui/uikit.h"
#include "servicesentversions.h"

#include "editor/desktopservices.h"
#include "editor/editormodel.h"
#include "foundation/localization.h"
#include "foundation/ui/sourcefacts/sorvanesourcefacts.h"
#include "editor/editorpresentation.h"
#include "servicequeue/proposals/servicetaskpresentation.h"
#include "servicequeue/proposals/taskdetailrules.h"
#include "servicequeue/servicequeuemodel.h"
#include "servicequeue/ui/proposalcontentview.h"
#include "servicequeue/ui/serviceactionresult.h"

#include <QDir>
#include <QFrame>
#include <QGroupBox>
#include <QPushButton>

namespace {

QVBoxLayout *slot(QVBoxLayout *into, QWidget *parent, int spacing)
{
    auto *holder = new QWidget(parent);
    auto *layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    into->addWidget(holder);
    return layout;
}

bool writing(const std::optional<ServiceKind> &kind)
{
    return kind == ServiceKind::conceptDevelopment || kind == ServiceKind::scriptDevelopment;
}

} // namespace

ServiceTaskDetail::ServiceTaskDetail(ServiceTaskDetailParts parts, QWidget *parent)
    : QWidget(parent), m_parts(std::move(parts))
{
    if (!m_parts.results)
        m_parts.results = new ServiceActionResult(*m_parts.editorModel, this);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(14);
    m_heading = slot(column, this, 8);
    m_top = slot(column, this, 12);
    m_returnSlot = slot(column, this, 0);
    m_bottom = slot(column, this, 12);
    if (m_parts.versionsOnly || !m_parts.detailOnly) {
        m_sent = new ServiceSentVersions(m_parts, this);
        column->addWidget(m_sent);
    }

    ServiceQueueModel *model = m_parts.model;
    using A = ServiceOpenedTask::Assignments;
    connectAssigned(model->openedTask(), this, {&A::detail, &A::listing, &A::download}, [this] { rebuild(); });
    // The send confirmation is the dialogs' business: its change alone rebuilds nothing.
    const ServiceProposalState &proposals = model->proposals();
    connect(&proposals, &ServiceProposalState::changed, this,
            [this, &proposals, asked = proposals.confirmation()]() mutable {
                const bool now = proposals.confirmation();
                if (std::exchange(asked, now) == now)
                    rebuild();
            });
    connect(m_parts.editorModel, &EditorModel::inboxChanged, this, &ServiceTaskDetail::rebuild);
    rebuild();
}

void ServiceTaskDetail::rebuild()
{
    for (QVBoxLayout *layout : {m_heading, m_top, m_bottom})
        clearLater(layout);
    if (!m_parts.model->openedTask().detail()) {
        placeReturnView(false);
        return;
    }
    buildHeading();
    if (m_parts.versionsOnly)
        buildDelivery();
    else
        buildTask();
    for (QVBoxLayout *layout : {m_heading, m_top, m_bottom})
        layout->parentWidget()->setVisible(layout->count() > 0); // no gap for an empty part
}

void ServiceTaskDetail::placeReturnView(bool shown)
{
    if (shown && !m_return) {
        // Made once and kept: it holds the draft list's open state and the draft's player.
        m_return = new ServiceVideoReturnView(m_parts.model, m_parts.editor, m_parts.seams, m_parts.results,
                                              m_returnSlot->parentWidget());
        m_returnSlot->addWidget(m_return);
    }
    if (m_return)
        m_return->setVisible(shown);
    m_returnSlot->parentWidget()->setVisible(shown); // no gap where it is not
}

void ServiceTaskDetail::buildHeading()
{
    QWidget *parent = m_heading->parentWidget();
    const ServiceDetail &detail = *m_parts.model->openedTask().detail();
    const ServiceReceipt &request = detail.request;
    if (!m_parts.detailOnly) {
        auto *line = new QFrame(parent);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        m_heading->addWidget(line);
        m_heading->addWidget(UiKit::label(request.title, {.scale = 1.35, .bold = true,
                                          .name = QStringLiteral("service.task.title")}, parent));
        const ServiceTaskPresentation presentation{request, detail};
        m_heading->addWidget(DetailText::symbolLabel(parent, EditorPresentation::kindSymbol(request.kind), presentation.statusTitle(),
                                                     QStringLiteral("service.task.status")));
        auto *id = new UiKit::LongWordLabel(loc("Task %@ · revision %lld", {request.id, request.revision}),
                                            {.scale = 0.88, .name = QStringLiteral("service.task.id")}, parent);
        id->setFont(QFont(QStringLiteral("monospace"), id->font().pointSize()));
        m_heading->addWidget(id);
        return;
    }
    m_heading->addWidget(UiKit::label(loc("Task revision %lld", {request.revision}), {.scale = 0.88, .secondary = true,
                                      .name = QStringLiteral("service.task.revision")}, parent));
    if (request.status.is(ServiceStatus::waiting))
        m_heading->addWidget(UiKit::label(loc("Take the task to download its frozen instructions and original material."),
                                          {.secondary = true, .name = QStringLiteral("service.task.waitingHint")},
                                          parent));
}

// The versions layout: the way to return a video, then the sent versions.
void ServiceTaskDetail::buildDelivery()
{
    QWidget *parent = m_top->parentWidget();
    const ServiceReceipt &request = m_parts.model->openedTask().detail()->request;
    const bool film = request.kind == ServiceKind::filmEditing;
    const bool ready = film && TaskDetailRules::deliveryReady(request, m_parts.model->openedTask().download());
    placeReturnView(ready);
    if (film && !ready) {
        const bool closed = request.status.isClosed();
        auto *box = new QGroupBox(closed ? loc("Saved versions") : loc("New video version"), parent);
        box->setObjectName(QStringLiteral("service.video.delivery"));
        auto *inner = new QVBoxLayout(box);
        inner->setContentsMargins(8, 8, 8, 8);
        inner->setSpacing(12);
        inner->addWidget(UiKit::label(
            closed ? loc("Download the submitted project to review its saved versions and feedback.")
                   : loc("Download this submitted project first. The returned video will stay bound to these "
                         "instructions and originals."),
            {.name = QStringLiteral("service.video.delivery.explanation")}, box));
        addTakeOrFetch(inner, TaskDetailRules::TakePlace::filmEnvelope);
        m_top->addWidget(box);
    }

    QWidget *below = m_bottom->parentWidget();
    m_bottom->addWidget(UiKit::label(loc("Sent versions and customer feedback"), {.scale = 1.35, .bold = true,
                                     .name = QStringLiteral("service.versions.title")}, below));
    if (m_parts.model->openedTask().detail()->proposals.isEmpty())
        m_bottom->addWidget(UiKit::label(loc("No versions have been sent for this task yet."), {.secondary = true,
                                         .name = QStringLiteral("service.versions.empty")}, below));
}

void ServiceTaskDetail::buildTask()
{
    QWidget *parent = m_top->parentWidget();
    ServiceQueueModel &model = *m_parts.model;
    const ServiceDetail &detail = *model.openedTask().detail();
    const ServiceReceipt &request = detail.request;
    const bool closed = request.status.isClosed();

    if (const auto message = ServiceTaskPresentation{request, detail}.closedMessage())
        m_top->addWidget(UiKit::label(*message, {.secondary = true, .name = QStringLiteral("service.task.closed")},
                                      parent));

    addTakeOrFetch(m_top, m_parts.detailOnly ? TaskDetailRules::TakePlace::ticket : TaskDetailRules::TakePlace::screen);

    const bool film = request.kind == ServiceKind::filmEditing;
    if (model.openedTask().download())
        buildPackage(m_top);
    placeReturnView(model.openedTask().download() && film && !m_parts.detailOnly);

    QWidget *below = m_bottom->parentWidget();
    if (model.openedTask().download() && film && m_parts.detailOnly && !closed) {
        m_bottom->addWidget(UiKit::label(loc("Return the edited video from Versions. Its review and the customer's feedback stay together there."),
                                         {.scale = 0.95, .secondary = true,
                                         .name = QStringLiteral("service.video.returnHint")}, below));
        if (m_parts.onShowVersions) {
            auto *open = DetailText::button(below, loc("Open Versions to return a video"), QStringLiteral("film.stack"),
                                            QStringLiteral("service.video.openVersions"), true);
            connect(open, &QPushButton::clicked, this, [this] { m_parts.onShowVersions(); });
            m_bottom->addWidget(open, 0, Qt::AlignLeft);
        }
    }
    if (model.proposals().prepared())
        buildWorkingFolder();
    if (const auto &preview = model.proposals().preview()) {
        auto *box = new QGroupBox(loc("Gennemgå før afsendelse"), below);
        box->setObjectName(QStringLiteral("service.proposal.review"));
        auto *inner = new QVBoxLayout(box);
        inner->setContentsMargins(8, 8, 8, 8);
        inner->setSpacing(12);
        inner->addWidget(new ProposalContentView(preview->content, box));
        // The tools' notice is a sentence of the string tables (its key is the tools' own text).
        inner->addWidget(UiKit::label(loc(preview->notice), {.scale = 0.88, .secondary = true,
                                      .name = QStringLiteral("service.proposal.review.notice")}, box));
        auto *send = DetailText::button(box, loc("Send forslag til kundereview…"), QStringLiteral("paperplane"),
                                        QStringLiteral("service.proposal.send"), true);
        connect(send, &QPushButton::clicked, this, [this] { m_parts.model->proposals().setConfirmation(true); });
        inner->addWidget(send, 0, Qt::AlignLeft);
        m_bottom->addWidget(box);
        m_parts.results->arrived(box);
    }
}

// Take the task, fetch it, or say that it is someone else's, as the rules decide.
void ServiceTaskDetail::addTakeOrFetch(QVBoxLayout *into, TaskDetailRules::TakePlace place)
{
    using Action = TaskDetailRules::TakeOrFetch::Action;
    QWidget *parent = into->parentWidget();
    const bool envelope = place == TaskDetailRules::TakePlace::filmEnvelope;
    const auto name = [envelope](const char *task, const char *film) {
        return QString::fromLatin1(envelope ? film : task);
    };
    const TaskDetailRules::TakeOrFetch offer = TaskDetailRules::takeOrFetch(
        *m_parts.model->openedTask().detail(), m_parts.model->openedTask().listing(), m_parts.editorModel->inbox(), place);
    switch (offer.action) {
    case Action::none:
        return;
    case Action::claim: {
        auto *claim = DetailText::button(parent, offer.text, QStringLiteral("hand.raised"),
                                         QStringLiteral("service.task.claim"), true);
        connect(claim, &QPushButton::clicked, this, [this] { m_parts.model->claim(*m_parts.editor); });
        into->addWidget(claim, 0, Qt::AlignLeft);
        return;
    }
    case Action::waiting:
        into->addWidget(UiKit::label(offer.text, {.secondary = true,
                                     .name = QStringLiteral("service.video.delivery.waiting")}, parent));
        return;
    case Action::download: {
        auto *pull = DetailText::button(parent, offer.text, QStringLiteral("arrow.down.circle"),
                                        name("service.task.download", "service.video.downloadPrerequisite"));
        pull->setEnabled(offer.enabled);
        connect(pull, &QPushButton::clicked, this, [this] { m_parts.model->pull(*m_parts.editor, m_parts.detailOnly); });
        into->addWidget(pull, 0, Qt::AlignLeft);
        if (offer.note)
            into->addWidget(UiKit::label(*offer.note, {.scale = 0.88, .name = name("service.task.noFolder",
                                         "service.video.delivery.noFolder")}, parent));
        return;
    }
    case Action::taken:
        into->addWidget(UiKit::label(offer.text, {.secondary = true, .name = name("service.task.taken",
                                     "service.video.delivery.taken")}, parent));
        if (offer.note)
            into->addWidget(UiKit::label(*offer.note, {.secondary = true,
                                         .name = QStringLiteral("service.video.delivery.below")}, parent));
        return;
    }
}

// What the verified package offers: the film folder, history, brief, the
// package itself, the saved working folders and a new one.
void ServiceTaskDetail::buildPackage(QVBoxLayout *top)
{
    QWidget *parent = top->parentWidget();
    ServiceQueueModel &model = *m_parts.model;
    const ServiceReceipt &request = model.openedTask().detail()->request;
    const ServiceDownload &download = *model.openedTask().download();
    const bool film = request.kind == ServiceKind::filmEditing;
    const bool closed = request.status.isClosed();
    DesktopServices *desktop = m_parts.seams.desktop;
    auto add = [top](QWidget *widget) { top->addWidget(widget, 0, Qt::AlignLeft); };

    top->addWidget(UiKit::label(loc("Originalpakke verificeret"), {.name = QStringLiteral("service.package.verified"),
                                .ink = UiKit::Ink::success}, parent));
    if (const auto folder = download.projectFolder) {
        auto *open = DetailText::button(parent, loc("Open complete film folder"), QStringLiteral("folder"),
                                        QStringLiteral("service.film.open"));
        connect(open, &QPushButton::clicked, this, [desktop, path = *folder] {
            if (desktop)
                desktop->revealFolder(path);
        });
        add(open);
        auto *relink = DetailText::button(parent, loc("Relink imports for this disk"), QStringLiteral("link"),
                                          QStringLiteral("service.film.relink"));
        connect(relink, &QPushButton::clicked, this, [this] { m_parts.model->packageFilm(*m_parts.editor, true); });
        add(relink);
        auto *path = UiKit::label(*folder, {.scale = 0.88, .secondary = true,
                                  .name = QStringLiteral("service.film.folder")}, parent);
        path->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        top->addWidget(path);
    } else if (film) {
        auto *copy = DetailText::button(parent, loc("Copy into a complete film folder…"),
                                        QStringLiteral("externaldrive.badge.plus"), QStringLiteral("service.film.copy"));
        connect(copy, &QPushButton::clicked, this, [this] {
            if (m_parts.askCopy)
                m_parts.askCopy();
        });
        add(copy);
    }
    auto *history = DetailText::button(parent, loc("Opdatér historik til AI"), QStringLiteral("clock.arrow.circlepath"),
                                       QStringLiteral("service.history.refresh"));
    connect(history, &QPushButton::clicked, this, [this] { m_parts.model->refreshHistory(*m_parts.editor); });
    add(history);
    auto *brief = DetailText::button(parent, loc("Læs klippegrundlag"), QStringLiteral("doc.text"),
                                     QStringLiteral("service.brief.open"));
    connect(brief, &QPushButton::clicked, this, [this] { m_parts.model->readBrief(*m_parts.editor, true); });
    add(brief);
    if (film) {
        auto *refresh = DetailText::button(parent, loc("Refresh current instructions"), QStringLiteral("arrow.clockwise"),
                                           QStringLiteral("service.brief.refresh"));
        connect(refresh, &QPushButton::clicked, this, [this] { m_parts.model->refreshCurrentBrief(*m_parts.editor); });
        add(refresh);
    }
    auto *reveal = DetailText::button(parent, loc("Vis originalpakken i Finder"), {}, QStringLiteral("service.package.reveal"));
    connect(reveal, &QPushButton::clicked, this, [desktop, path = download.folder] {
        if (desktop)
            desktop->revealFolder(path);
    });
    add(reveal);

    for (const PreparedHandoff &handoff : model.proposals().workspaces()) {
        const QString shortID = TaskDetailRules::shortHandoffID(handoff.handoffID);
        auto *resume = DetailText::button(parent,
                                          closed ? loc("Open saved workspace · %@", {shortID})
                                                 : loc("Fortsæt tidligere arbejdsmappe · %@", {shortID}),
                                          QStringLiteral("arrow.uturn.forward"),
                                          QStringLiteral("service.workspace.resume.") + handoff.handoffID, true);
        connect(resume, &QPushButton::clicked, this,
                [this, handoff] { m_parts.model->resume(handoff, *m_parts.editor); });
        add(resume);
    }
    if (!closed) {
        const bool again = !model.proposals().workspaces().isEmpty();
        auto *prepare = DetailText::button(parent,
                                           again ? loc("Forbered en ny arbejdsmappe")
                                                 : loc("Forbered %@", {title(request.kind).toLower()}),
                                           {}, QStringLiteral("service.workspace.prepare"), !again);
        connect(prepare, &QPushButton::clicked, this, [this] { m_parts.model->prepare(*m_parts.editor); });
        add(prepare);
    }
}

void ServiceTaskDetail::buildWorkingFolder()
{
    QWidget *parent = m_bottom->parentWidget();
    ServiceQueueModel &model = *m_parts.model;
    const PreparedHandoff &prepared = *model.proposals().prepared();
    const bool closed = model.openedTask().detail()->request.status.isClosed();
    DesktopServices *desktop = m_parts.seams.desktop;
    auto add = [this](QWidget *widget) { m_bottom->addWidget(widget, 0, Qt::AlignLeft); };

    auto *open = DetailText::button(parent, loc("Åbn arbejdsmappe"), QStringLiteral("folder"),
                                    QStringLiteral("service.workspace.open"));
    connect(open, &QPushButton::clicked, this, [desktop, path = prepared.folder] {
        if (desktop)
            desktop->revealFolder(path);
    });
    add(open);
    if (prepared.timelineFormat)
        m_bottom->addWidget(new SorvaneTimelineFormatView(*prepared.timelineFormat, parent));
    if (writing(prepared.kind)) {
        auto *start = DetailText::button(parent, loc("Åbn startvejledning"), QStringLiteral("doc.text"),
                                         QStringLiteral("service.workspace.guide"));
        connect(start, &QPushButton::clicked, this, [desktop, path = QDir(prepared.folder).filePath(QStringLiteral("writer-start.md"))] {
            if (desktop)
                desktop->openFile(path);
        });
        add(start);
        if (!closed)
            m_bottom->addWidget(UiKit::label(loc("Arbejd i writer-start.md og udfyld work/customer-proposal.json. Den tomme skabelon laver ingen "
                                             "research eller manuskript af sig selv."), {.scale = 0.95,
                                             .name = QStringLiteral("service.workspace.writingHint")}, parent));
        if (const auto &file = model.proposals().proposalFile()) {
            auto *json = DetailText::button(parent, loc("Åbn forslagets JSON"), {},
                                            QStringLiteral("service.proposal.openFile"));
            connect(json, &QPushButton::clicked, this, [desktop, path = file->file] {
                if (desktop)
                    desktop->openFile(path);
            });
            add(json);
            auto *review = DetailText::button(parent, loc("Gennemgå forslag fra arbejdsmappe"),
                                              QStringLiteral("doc.text.magnifyingglass"),
                                              QStringLiteral("service.proposal.readPreview"));
            connect(review, &QPushButton::clicked, this, [this] {
                m_parts.results->await(QStringLiteral("service.proposal.review"),
                                       [this] { m_parts.model->readPreview(*m_parts.editor); });
            });
            add(review);
        }
    } else if (!closed) {
        m_bottom->addWidget(UiKit::label(
            m_parts.detailOnly ? loc("Edit in your editor, then open Versions to prepare and send the exported video.")
                               : loc("Klip i dit redigeringsprogram, og vælg derefter den eksporterede video ovenfor."),
            {.secondary = true, .name = QStringLiteral("service.workspace.filmHint")}, parent));
    }
}
