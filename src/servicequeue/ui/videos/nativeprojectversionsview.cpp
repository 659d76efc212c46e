#include "nativeprojectversionsview.h"

#include "editor/desktopservices.h"
#include "foundation/ui/symbols.h"
#include "foundation/localization.h"
#include "foundation/ui/uikit.h"
#include "foundation/units/bytecount.h"
#include "servicequeue/videos/videoreturnpresentation.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

NativeProjectVersionsView::NativeProjectVersionsView(DesktopServices *desktop, QWidget *parent)
    : QWidget(parent), m_desktop(desktop), m_column(new QVBoxLayout(this))
{
    setObjectName(QStringLiteral("service.video.projectVersions"));
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(8);
}

void NativeProjectVersionsView::setContent(const QList<NativeProjectVersion> &versions, const QStringList &automaticProjects,
                                           bool requiresExplicitSelection, std::function<void()> onDisable)
{
    m_onDisable = std::move(onDisable);
    while (QLayoutItem *item = m_column->takeAt(0)) {
        if (QWidget *widget = item->widget())
            widget->deleteLater();
        delete item;
    }
    if (versions.isEmpty())
        m_column->addWidget(UiKit::label(loc("Ingen projektkopi gemt til denne videoversion."), {.scale = 0.9,
                                         .secondary = true}, this));
    for (const NativeProjectVersion &version : versions) {
        auto *row = new QWidget(this);
        row->setObjectName(QStringLiteral("service.video.projectVersion.") + version.snapshotID);
        auto *icon = new QLabel(row);
        Symbols::apply(icon, QStringLiteral("archivebox"));
        auto *name = new QLabel(version.sourceName, row);
        name->setTextFormat(Qt::PlainText);
        auto *texts = new QVBoxLayout;
        texts->setSpacing(0);
        texts->addWidget(name);
        texts->addWidget(UiKit::label(fileByteCount(version.byteCount), {.scale = 0.9, .secondary = true}, row));
        auto *reveal = new QPushButton(loc("Vis i Finder"), row);
        const QString archive = version.archive;
        connect(reveal, &QPushButton::clicked, this, [this, archive] {
            if (m_desktop)
                m_desktop->revealFolder(archive);
        });
        auto *line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        line->addWidget(icon, 0, Qt::AlignVCenter);
        line->addLayout(texts, 1);
        line->addWidget(reveal, 0, Qt::AlignVCenter);
        m_column->addWidget(row);
    }
    const auto disableButton = [this](const QString &text, const QString &id) {
        auto *button = new QPushButton(text, this);
        button->setObjectName(id);
        connect(button, &QPushButton::clicked, this, [this] {
            if (m_onDisable)
                m_onDisable();
        });
        m_column->addWidget(button, 0, Qt::AlignLeft);
    };
    if (requiresExplicitSelection) {
        QLabel *note = UiKit::label(loc("This copied project needs an explicit native project selection before the next "
                                    "delivery."), {.scale = 0.9}, this);
        UiKit::setInk(note, UiKit::Ink::caution);
        m_column->addWidget(note);
        if (m_onDisable)
            disableButton(loc("Continue without automatic project copying"),
                          QStringLiteral("service.video.projectVersions.continue"));
    }
    if (!automaticProjects.isEmpty()) {
        m_column->addWidget(
            UiKit::label(loc("Gemmes også ved næste aflevering: %@", {automaticProjects.join(QStringLiteral(", "))}),
                         {.scale = 0.9}, this));
        if (m_onDisable)
            disableButton(loc("Stop automatisk projektkopi"), QStringLiteral("service.video.projectVersions.stop"));
    }
    if (!versions.isEmpty())
        m_column->addWidget(UiKit::label(loc("Lokal projektkopi · eksterne medier og genåbning er ikke verificeret."),
                                         {.scale = 0.9, .secondary = true}, this));
}
