#include "servicesentversions.h"

#include "foundation/localization.h"
#include "foundation/ui/uikit.h"
#include "servicequeue/proposals/taskdetailrules.h"
#include "servicequeue/servicequeuemodel.h"
#include "servicequeue/ui/proposalcontentview.h"
#include "servicequeue/ui/review/servicereactionplayer.h"
#include "servicequeue/ui/serviceactionresult.h"
#include "servicequeue/ui/review/servicereviewvideoview.h"
#include "servicequeue/ui/videos/nativeprojectversionsview.h"
#include "servicequeue/videos/videostage.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QToolButton>

namespace {

QString stageSymbol(ServiceVideoStage stage)
{
    switch (stage) {
    case ServiceVideoStage::preparedLocally:
        return QStringLiteral("doc.badge.clock");
    case ServiceVideoStage::reviewed:
        return QStringLiteral("checkmark.shield");
    case ServiceVideoStage::sending:
        return QStringLiteral("arrow.up.circle");
    case ServiceVideoStage::sendUnconfirmed:
        return QStringLiteral("exclamationmark.arrow.triangle.2.circlepath");
    case ServiceVideoStage::sentForReview:
        return QStringLiteral("paperplane");
    case ServiceVideoStage::changesRequested:
        return QStringLiteral("bubble.left");
    case ServiceVideoStage::approved:
        return QStringLiteral("checkmark.seal");
    }
    return {};
}

QVBoxLayout *column(QWidget *widget, int spacing, QMargins margins = {})
{
    auto *layout = new QVBoxLayout(widget);
    layout->setContentsMargins(margins);
    layout->setSpacing(spacing);
    return layout;
}

// The title beside a group's arrow: wraps in a narrow column, and a click on it opens or closes the group.
class GroupTitle final : public QLabel
{
public:
    GroupTitle(QToolButton *toggle, QWidget *parent) : QLabel(parent), m_toggle(toggle)
    {
        setWordWrap(true);
        setTextFormat(Qt::PlainText);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        QLabel::mouseReleaseEvent(event);
        m_toggle->toggle();
    }

private:
    QToolButton *m_toggle;
};

} // namespace

// One listed reaction; holds the player while it is the downloaded one.
class ReactionRow final : public QWidget
{
public:
    ReactionRow(const ServiceTaskDetailParts &parts, const QString &id, QWidget *parent)
        : QWidget(parent), m_parts(parts)
    {
        setObjectName(QStringLiteral("service.reaction.") + id);
        m_column = column(this, 6);
        auto *line = new QHBoxLayout;
        line->setContentsMargins(0, 0, 0, 0);
        m_text = UiKit::label({}, {.name = objectName() + QStringLiteral(".text")}, this);
        auto *play = DetailText::button(this, loc("Download and play"), {}, objectName() + QStringLiteral(".play"));
        line->addWidget(m_text, 1);
        line->addWidget(play, 0, Qt::AlignTop);
        m_column->addLayout(line);
        connect(play, &QPushButton::clicked, this, [this] {
            m_parts.results->await(QStringLiteral("service.reaction.player"), [this] {
                for (const auto &reaction : m_parts.model->review().reactions())
                    if (reaction.id() == m_reaction.id())
                        m_parts.model->pullReaction(reaction, *m_parts.editor);
            });
        });
    }

    void refresh(const ServiceReactionSummary &reaction)
    {
        m_reaction = reaction;
        m_text->setText(loc("Reaction · version %lld · %lld comments", {reaction.proposalVersion, reaction.annotationCount}));
        const auto &download = m_parts.model->review().reactionDownload();
        if (download && download->selected.id() == reaction.id()) {
            if (!m_player) {
                // A fresh player for each placement.
                m_player = new ServiceReactionPlayer(m_parts.seams.players, this);
                m_column->addWidget(m_player);
            }
            m_player->setDownload(*download);
            m_parts.results->arrived(m_player);
        } else if (m_player) {
            m_player->hide(); // pauses and drops its player
            m_player->deleteLater();
            m_player = nullptr;
        }
    }

private:
    const ServiceTaskDetailParts &m_parts;
    QVBoxLayout *m_column;
    QLabel *m_text;
    ServiceReactionSummary m_reaction;
    ServiceReactionPlayer *m_player = nullptr;
};

// A customer's decision on one version, with the reactions recorded for it.
class DecisionRow final : public QWidget
{
public:
    DecisionRow(const ServiceTaskDetailParts &parts, const QString &id, QWidget *parent)
        : QWidget(parent), m_parts(parts)
    {
        const QString name = QStringLiteral("service.decision.") + id;
        setObjectName(name);
        QVBoxLayout *layout = column(this, 5, {0, 8, 0, 8});
        m_title = UiKit::label({}, {.bold = true, .name = name + QStringLiteral(".title")}, this);
        m_direction = UiKit::label({}, {.name = name + QStringLiteral(".direction")}, this);
        m_comment = UiKit::label({}, {.name = name + QStringLiteral(".comment")}, this);
        m_comment->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        layout->addWidget(m_title);
        layout->addWidget(m_direction);
        layout->addWidget(m_comment);

        m_reactions = new QWidget(this);
        m_reactions->setObjectName(name + QStringLiteral(".reactions"));
        QVBoxLayout *reactions = column(m_reactions, 6);
        auto *load = DetailText::button(m_reactions, loc("Load reactions"), QStringLiteral("person.crop.rectangle"),
                                        name + QStringLiteral(".loadReactions"));
        reactions->addWidget(load, 0, Qt::AlignLeft);
        auto *rows = new QWidget(m_reactions);
        m_rows = column(rows, 6);
        reactions->addWidget(rows);
        m_note = UiKit::label(loc("No reaction attached to this response."), {.scale = 0.88, .secondary = true,
                              .name = name + QStringLiteral(".noReaction")}, m_reactions);
        reactions->addWidget(m_note);
        layout->addWidget(m_reactions);
        connect(load, &QPushButton::clicked, this, [this] {
            m_parts.results->await(m_reactions->objectName(), [this] { m_parts.model->readReactions(*m_parts.editor); });
        });
    }

    void refresh(const ServiceDecision &decision, const ProposalContent &content)
    {
        m_title->setText(decision.decision == QLatin1String("approve") ? loc("Kunden har godkendt forslaget")
                                                                        : loc("Kunden ønsker rettelser"));
        const auto direction = TaskDetailRules::chosenDirection(decision, content);
        m_direction->setText(direction ? loc("Valgt retning: %@", {*direction}) : QString());
        m_direction->setVisible(direction.has_value());
        m_comment->setText(decision.comment); // the customer's words, as written
        m_comment->setVisible(!decision.comment.isEmpty());

        const ServiceQueueModel &model = *m_parts.model;
        const bool reactions = content.video && model.openedTask().download();
        m_reactions->setVisible(reactions);
        QStringList keys;
        QHash<QString, ServiceReactionSummary> mine;
        if (reactions) {
            for (const auto &reaction : model.review().reactions()) {
                if (reaction.decisionID != decision.id || mine.contains(reaction.id()))
                    continue;
                keys << reaction.id();
                mine.insert(reaction.id(), reaction);
            }
        }
        syncKeyed<ReactionRow>(m_rows, m_items, keys, [this](const QString &key) {
            return new ReactionRow(m_parts, key, m_rows->parentWidget());
        });
        for (const QString &key : keys)
            m_items.value(key)->refresh(mine.value(key));
        m_note->setVisible(model.review().reactionHistoryLoaded() && keys.isEmpty());
        if (reactions)
            m_parts.results->arrived(m_reactions);
    }

private:
    const ServiceTaskDetailParts &m_parts;
    QLabel *m_title;
    QLabel *m_direction;
    QLabel *m_comment;
    QWidget *m_reactions;
    QVBoxLayout *m_rows;
    QLabel *m_note;
    QHash<QString, ReactionRow *> m_items;
};

// One sent version as a disclosure group, collapsed at first.
class ProposalGroup final : public QWidget
{
public:
    ProposalGroup(const ServiceTaskDetailParts &parts, const QString &id, QWidget *parent)
        : QWidget(parent), m_parts(parts), m_id(id)
    {
        const QString name = QStringLiteral("service.version.") + id;
        setObjectName(name);
        QVBoxLayout *layout = column(this, 8);
        auto *header = new QHBoxLayout;
        header->setContentsMargins(0, 0, 0, 0);
        header->setSpacing(4);
        m_toggle = new QToolButton(this);
        m_toggle->setObjectName(name + QStringLiteral(".toggle"));
        m_toggle->setCheckable(true);
        m_toggle->setChecked(false);
        m_toggle->setArrowType(Qt::RightArrow);
        m_toggle->setAutoRaise(true);
        m_title = new GroupTitle(m_toggle, this);
        m_title->setObjectName(name + QStringLiteral(".title"));
        header->addWidget(m_toggle, 0, Qt::AlignTop);
        header->addWidget(m_title, 1);
        layout->addLayout(header);

        m_body = new QWidget(this);
        m_body->setObjectName(name + QStringLiteral(".body"));
        m_body->setVisible(false);
        QVBoxLayout *body = column(m_body, 10, {18, 0, 0, 0});
        m_stage = new QWidget(m_body);
        column(m_stage, 0);
        body->addWidget(m_stage);
        m_content = new ProposalContentView(ProposalContent{}, m_body);
        body->addWidget(m_content);

        m_review = DetailText::button(m_body, loc("Download and review this version"), QStringLiteral("play.rectangle"),
                                      QStringLiteral("service.review.download.") + id);
        body->addWidget(m_review, 0, Qt::AlignLeft);
        m_reviewSlot = column(new QWidget(m_body), 0);
        body->addWidget(m_reviewSlot->parentWidget());

        m_projectsButton = DetailText::button(m_body, loc("Vis gemte projektversioner"), {},
                                              name + QStringLiteral(".projectVersions"));
        body->addWidget(m_projectsButton, 0, Qt::AlignLeft);
        m_projects = new NativeProjectVersionsView(m_parts.seams.desktop, m_body);
        body->addWidget(m_projects);

        auto *decisions = new QWidget(m_body);
        m_decisions = column(decisions, 0);
        body->addWidget(decisions);
        layout->addWidget(m_body);

        connect(m_toggle, &QToolButton::toggled, this, [this](bool open) {
            m_toggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
            m_body->setVisible(open);
        });
        connect(m_review, &QPushButton::clicked, this, [this] {
            if (const auto proposal = current())
                m_parts.results->await(QStringLiteral("service.review.video"),
                                       [this, &proposal] { m_parts.model->downloadReviewVideo(*proposal, *m_parts.editor); });
        });
        connect(m_projectsButton, &QPushButton::clicked, this,
                [this] { m_parts.model->readProjectVersions(*m_parts.editor, m_id); });
    }

    void refresh(const ServiceProposal &proposal, const QList<ServiceDecision> &allDecisions)
    {
        const ServiceQueueModel &model = *m_parts.model;
        m_title->setText(loc("Forslag version %lld · %@", {proposal.version_number, proposal.content.title}));
        m_toggle->setAccessibleName(m_title->text());
        const bool film = proposal.content.video.has_value();

        // The stage follows the customer's latest decision on this version.
        clearLater(m_stage->layout());
        if (film) {
            const ServiceVideoStage stage = VideoStage::history(proposal, allDecisions);
            QWidget *label = DetailText::symbolLabel(m_stage, stageSymbol(stage), VideoStage::title(stage),
                                                     QStringLiteral("service.video.stage.") + proposal.id);
            m_stage->layout()->addWidget(label);
            label->show(); // at once, like the content below: no fold in between
        }
        m_stage->setVisible(film);
        m_content->setContent(proposal.content);

        const QList<ServiceDecision> decisions = TaskDetailRules::decisionsOn(allDecisions, proposal.id);
        const bool verified = model.openedTask().download() && model.openedTask().download()->verified;
        m_review->setVisible(film && verified);
        const auto &review = model.review().reviewVideo();
        if (film && verified && review && review->proposalID == proposal.id) {
            if (!m_reviewView) {
                m_reviewView = new ServiceReviewVideoView(m_parts.seams.players, m_reviewSlot->parentWidget());
                m_reviewSlot->addWidget(m_reviewView);
            }
            m_reviewView->setContent(*review, decisions); // the same file keeps its player
            m_parts.results->arrived(m_reviewView);
            m_reviewSlot->parentWidget()->show();
        } else {
            if (m_reviewView) {
                m_reviewView->hide();
                m_reviewView->deleteLater();
                m_reviewView = nullptr;
            }
            m_reviewSlot->parentWidget()->hide(); // no gap where no video is
        }

        const bool projects = film && model.openedTask().download();
        m_projectsButton->setVisible(projects);
        const bool listed = projects && model.projectCopies().projectVersionsProposalID() == proposal.id;
        if (listed)
            m_projects->setContent(model.projectCopies().projectVersions(), {}, false, {});
        m_projects->setVisible(listed);

        QStringList keys;
        for (const ServiceDecision &decision : decisions)
            if (!keys.contains(decision.id))
                keys << decision.id;
        syncKeyed<DecisionRow>(m_decisions, m_items, keys, [this](const QString &key) {
            return new DecisionRow(m_parts, key, m_decisions->parentWidget());
        });
        for (const ServiceDecision &decision : decisions)
            if (DecisionRow *row = m_items.value(decision.id))
                row->refresh(decision, proposal.content);
    }

private:
    std::optional<ServiceProposal> current() const
    {
        if (const auto &detail = m_parts.model->openedTask().detail())
            for (const ServiceProposal &proposal : detail->proposals)
                if (proposal.id == m_id)
                    return proposal;
        return std::nullopt;
    }

    const ServiceTaskDetailParts &m_parts;
    QString m_id;
    QToolButton *m_toggle;
    QLabel *m_title;
    QWidget *m_body;
    QWidget *m_stage;
    ProposalContentView *m_content;
    QPushButton *m_review;
    QVBoxLayout *m_reviewSlot;
    ServiceReviewVideoView *m_reviewView = nullptr;
    QPushButton *m_projectsButton;
    NativeProjectVersionsView *m_projects;
    QVBoxLayout *m_decisions;
    QHash<QString, DecisionRow *> m_items;
};

ServiceSentVersions::ServiceSentVersions(ServiceTaskDetailParts parts, QWidget *parent)
    : QWidget(parent), m_parts(std::move(parts)), m_groups(column(this, 6))
{
    setObjectName(QStringLiteral("service.versions"));
    ServiceQueueModel *model = m_parts.model;
    using A = ServiceOpenedTask::Assignments;
    connectAssigned(model->openedTask(), this, {&A::detail, &A::download}, [this] { refresh(); });
    connect(&model->review(), &ServiceReviewState::changed, this, &ServiceSentVersions::refresh);
    connect(&model->projectCopies(), &ServiceProjectCopies::changed, this, &ServiceSentVersions::refresh);
    refresh();
}

void ServiceSentVersions::refresh()
{
    const auto &detail = m_parts.model->openedTask().detail();
    const QList<ServiceProposal> proposals =
        detail ? TaskDetailRules::newestFirst(detail->proposals) : QList<ServiceProposal>();
    QStringList keys;
    QList<const ServiceProposal *> shown;
    for (const ServiceProposal &proposal : proposals) {
        if (keys.contains(proposal.id))
            continue; // one group per id
        keys << proposal.id;
        shown << &proposal;
    }
    syncKeyed<ProposalGroup>(m_groups, m_items, keys,
                             [this](const QString &key) { return new ProposalGroup(m_parts, key, this); });
    for (const ServiceProposal *proposal : shown)
        m_items.value(proposal->id)->refresh(*proposal, detail->decisions);
}
