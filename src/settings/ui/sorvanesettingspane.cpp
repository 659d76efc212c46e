#include "sorvanesettingspane.h"

#include "sorvanesettingsview.h"

#include "foundation/localization.h"
#include "foundation/ui/symbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

const SorvaneSettingsPane &settingsPane(SorvaneSettingsSection section)
{
    return settingsPanes()[std::size_t(section)];
}

QString rawValue(SorvaneSettingsSection section)
{
    return QString::fromLatin1(settingsPane(section).id);
}

std::optional<SorvaneSettingsSection> settingsSectionFromRaw(const QString &raw)
{
    for (const SorvaneSettingsPane &pane : settingsPanes())
        if (raw == QLatin1StringView(pane.id))
            return pane.section;
    return std::nullopt;
}

QList<SorvaneSettingsSection> allSettingsSections()
{
    QList<SorvaneSettingsSection> sections;
    for (const SorvaneSettingsPane &pane : settingsPanes())
        sections.append(pane.section);
    return sections;
}

QString title(SorvaneSettingsSection section)
{
    return loc(QString::fromUtf8(settingsPane(section).title));
}

QString symbol(SorvaneSettingsSection section)
{
    return QString::fromLatin1(settingsPane(section).symbol);
}

SorvaneSettingsPaneBuilder::SorvaneSettingsPaneBuilder(SorvaneSettingsView &sheet, const SorvaneSettingsPane &pane)
    : m_sheet(sheet), m_pane(pane)
{
}

SorvaneSettingsModel &SorvaneSettingsPaneBuilder::model() const
{
    return m_sheet.model();
}

QList<QWidget *> SorvaneSettingsPaneBuilder::header()
{
    return {labelled(symbol(m_pane.section), title(m_pane.section), titleFont(m_sheet.font()), &m_sheet)};
}

QWidget *SorvaneSettingsPaneBuilder::scrolling(const QList<QWidget *> &elements)
{
    auto *scroll = new QScrollArea(&m_sheet);
    scroll->setObjectName(QStringLiteral("sorvane.settings.pane"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *content = new QWidget(scroll);
    auto *stack = new QVBoxLayout(content);
    stack->setContentsMargins(28, 28, 28, 28);
    stack->setSpacing(20);
    for (QWidget *element : elements) {
        element->setParent(content);
        stack->addWidget(element);
    }
    stack->addStretch(1);
    scroll->setWidget(content);
    return scroll;
}

QWidget *SorvaneSettingsPaneBuilder::row(QWidget *control)
{
    auto *row = new QWidget(&m_sheet);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(control);
    layout->addStretch(1);
    return row;
}

QFrame *SorvaneSettingsPaneBuilder::divider(QFrame::Shape shape, QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(shape);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

QFont SorvaneSettingsPaneBuilder::titleFont(QFont font)
{
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setWeight(QFont::DemiBold);
    return font;
}

QWidget *SorvaneSettingsPaneBuilder::labelled(const QString &symbol, const QString &text, const QFont &font,
                                              QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *icon = new QLabel(row);
    Symbols::apply(icon, symbol);
    auto *label = new QLabel(text, row);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setWordWrap(true);
    layout->addWidget(icon, 0, Qt::AlignVCenter);
    layout->addWidget(label, 1);
    return row;
}
