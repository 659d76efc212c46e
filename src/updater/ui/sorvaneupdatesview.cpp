#include "sorvaneupdatesview.h"

#include "editor/ui/applicationicon.h"
#include "foundation/ui/uikit.h"
#include "foundation/appbundle.h"
#include "foundation/localization.h"
#include "updater/sorvaneupdater.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

QString SorvaneUpdatesView::versionText(const QVariantMap &info)
{
    const auto text = [&info](const char *key) {
        const QVariant value = info.value(QLatin1String(key));
        return value.typeId() == QMetaType::QString ? value.toString() : QString(QChar(0x2013));
    };
    return text("CFBundleShortVersionString") + QStringLiteral(" (") + text("CFBundleVersion") + QLatin1Char(')');
}

SorvaneUpdatesView::SorvaneUpdatesView(SorvaneUpdater &updater, QWidget *parent) : QWidget(parent), m_updater(updater)
{
    setObjectName(QStringLiteral("sorvane.updates.panel"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(20);

    auto *header = new QHBoxLayout;
    header->setSpacing(16);
    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("sorvane.updates.icon"));
    icon->setFixedSize(72, 72);
    icon->setPixmap(applicationIcon().pixmap(72, 72));
    header->addWidget(icon, 0, Qt::AlignVCenter);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(6);
    auto *brand = new QLabel(QStringLiteral("Tavlon · Sorvane"), this); // a name, never translated
    QFont brandFont = brand->font();
    brandFont.setPointSizeF(brandFont.pointSizeF() * 1.55);
    brandFont.setWeight(QFont::DemiBold);
    brand->setFont(brandFont);
    titles->addWidget(brand);
    auto *version = new QLabel(loc("Version %@", {versionText(AppBundle::infoDictionary())}), this);
    UiKit::setSecondary(version);
    titles->addWidget(version);
    header->addLayout(titles, 1);
    layout->addLayout(header);

    auto *intro = UiKit::label(
        // clang-format off
        loc("The app downloads verified updates and asks before it restarts. Your project files stay in their chosen location."),
        // clang-format on
        {.secondary = true, .plain = false}, this);
    intro->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    layout->addWidget(intro);

    m_check = new QPushButton(loc("Check for Updates…"), this);
    m_check->setObjectName(QStringLiteral("sorvane.updates.check"));
    UiKit::makeProminent(m_check);
    connect(m_check, &QPushButton::clicked, this, [this] { m_updater.checkForUpdates(); });
    layout->addWidget(m_check, 0, Qt::AlignLeft);

    m_automatic = new QCheckBox(loc("Check for updates automatically"), this);
    m_automatic->setObjectName(QStringLiteral("sorvane.updates.automaticChecks"));
    connect(m_automatic, &QCheckBox::clicked, this, [this](bool on) {
        m_updater.setAutomaticallyChecksForUpdates(on);
        refresh(); // shows the updater's value, changed or not
    });
    layout->addWidget(m_automatic);

    m_lastRow = new QWidget(this);
    auto *lastLayout = new QHBoxLayout(m_lastRow);
    lastLayout->setContentsMargins(0, 0, 0, 0);
    auto *lastLabel = new QLabel(loc("Last checked"), m_lastRow);
    m_last = new QLabel(m_lastRow);
    for (QLabel *label : {lastLabel, m_last}) {
        QFont callout = label->font();
        callout.setPointSizeF(callout.pointSizeF() * 0.92);
        label->setFont(callout);
        UiKit::setSecondary(label);
    }
    lastLayout->addWidget(lastLabel);
    lastLayout->addWidget(m_last, 1);
    layout->addWidget(m_lastRow);

    m_busy = UiKit::label(loc("Finish the current transfer or account operation before checking for updates."),
                          {.secondary = true, .plain = false}, this);
    m_busy->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    layout->addWidget(m_busy);

    m_note = UiKit::label(QString(), {.plain = false}, this);
    m_note->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    layout->addWidget(m_note);

    auto *link = new QLabel(this);
    link->setObjectName(QStringLiteral("sorvane.updates.downloadPage"));
    link->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                      .arg(SorvaneUpdater::downloadPage().toString(), loc("Download page and release notes").toHtmlEscaped()));
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    UiKit::setLinkInk(link);
    layout->addWidget(link);
    // Without a browser Qt only writes to standard error: say so, with the address to copy.
    auto *refused = UiKit::label(QString(), {.plain = false}, this);
    refused->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    refused->setObjectName(QStringLiteral("sorvane.updates.downloadPage.refused"));
    refused->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    refused->hide();
    layout->addWidget(refused);
    connect(link, &QLabel::linkActivated, this, [refused](const QString &) {
        const QUrl page = SorvaneUpdater::downloadPage();
        if (QDesktopServices::openUrl(page))
            return;
        refused->setText(loc("No web browser on this computer could open the page; its address is: %@", {page.toString()}));
        refused->show();
    });
    layout->addStretch(1);

    connect(&m_updater, &SorvaneUpdater::changed, this, &SorvaneUpdatesView::refresh);
    refresh();
}

void SorvaneUpdatesView::refresh()
{
    m_check->setEnabled(!m_updater.checkDisabled());
    m_automatic->setEnabled(!m_updater.automaticChecksDisabled());
    m_automatic->setChecked(m_updater.automaticallyChecksForUpdates());

    const auto last = m_updater.lastUpdateCheckDate();
    m_lastRow->setVisible(last.has_value());
    if (last) {
        const QLocale locale(EditorLocalization::language());
        // Day, abbreviated month, year, then the locale's own short time (with AM/PM where it uses one).
        m_last->setText(locale.toString(last->toLocalTime(),
                                        QStringLiteral("d MMM yyyy ") + locale.timeFormat(QLocale::ShortFormat)));
    }
    m_busy->setVisible(m_updater.activity().isBusy());

    if (const auto issue = m_updater.issue()) {
        m_note->setText(*issue);
        UiKit::setInk(m_note, UiKit::Ink::failure);
        m_note->show();
    } else if (!m_updater.isConfigured()) {
        m_note->setText(loc("Updates are available in the installed app from %@.", {SorvaneUpdater::downloadPageText()}));
        UiKit::clearInk(m_note);
        UiKit::setSecondary(m_note);
        m_note->show();
    } else {
        m_note->hide();
    }
}
