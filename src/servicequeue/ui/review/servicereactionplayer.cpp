#include "servicereactionplayer.h"

#include "foundation/localization.h"
#include "reviewwidgets.h"
#include "servicequeue/reviewrules.h"
#include "servicequeue/ui/sorvanevideoplayer.h"

#include <QHideEvent>
#include <QLabel>
#include <QVBoxLayout>

ServiceReactionPlayer::ServiceReactionPlayer(MediaPlayerFactory factory, QWidget *parent)
    : QWidget(parent)
    , m_surface(new SorvaneVideoPlayer(this))
    , m_rows(new QVBoxLayout)
    , m_player(std::make_unique<OwnedPlayer>(std::move(factory), m_surface))
{
    setObjectName(QStringLiteral("service.reaction.player"));
    m_surface->setMinimumHeight(220);
    m_surface->setVisible(false);
    m_rows->setSpacing(0);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(m_surface);
    column->addLayout(m_rows);
}

ServiceReactionPlayer::~ServiceReactionPlayer() = default;

MediaPlayer *ServiceReactionPlayer::player() const
{
    return m_player->player();
}

void ServiceReactionPlayer::setDownload(const ServiceReactionDownload &download)
{
    m_download = download;
    const QString prefix = QStringLiteral("service.reaction.annotation.") + download.selected.decisionID
        + QLatin1Char('.') + download.selected.reactionID + QLatin1Char('.');
    QStringList keys;
    for (const auto &annotation : download.annotations)
        keys << prefix + annotation.id + QChar(u'\x1f') + annotation.text + QChar(u'\x1f')
                + QString::number(annotation.sourceSeconds, 'g', 17) + QChar(u'\x1f')
                + QString::number(annotation.reactionSeconds, 'g', 17);
    if (keys != m_rowKeys) {
        m_rowKeys = keys;
        while (QLayoutItem *item = m_rows->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        for (const auto &annotation : download.annotations) {
            auto *row = new LinkRowButton(this);
            row->setObjectName(prefix + annotation.id);
            row->addLine(annotation.text);
            ReviewFonts::caption(row->addLine(loc("Film %@ · reaction %@", {serviceClockLabel(annotation.sourceSeconds),
                                                                             serviceClockLabel(annotation.reactionSeconds)})));
            const double at = annotation.reactionSeconds;
            connect(row, &QPushButton::clicked, this, [this, at] { m_player->pauseAt(at); });
            m_rows->addWidget(row);
        }
    }
    if (isVisible())
        m_player->show(download.checkedFile);
}

void ServiceReactionPlayer::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_download)
        m_player->show(m_download->checkedFile);
}

// Minimising the window (a spontaneous hide) keeps the player; leaving the
// screen drops it.
void ServiceReactionPlayer::hideEvent(QHideEvent *event)
{
    if (!event->spontaneous())
        m_player->release();
    QWidget::hideEvent(event);
}
