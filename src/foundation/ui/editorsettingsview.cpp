#include "editorsettingsview.h"

#include "foundation/localization.h"
#include "foundation/settingsstore.h"
#include "foundation/ui/uikit.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

EditorSettingsView::EditorSettingsView(QWidget *parent) : QWidget(parent)
{
    setFixedWidth(430);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(14);

    auto *row = new QHBoxLayout;
    auto *title = new QLabel(loc("Appens sprog"), this);
    m_picker = new QComboBox(this);
    m_picker->setObjectName(QStringLiteral("editor.settings.language"));
    // The language names are shown as written, in either interface language.
    m_picker->addItem(loc("Følg systemet"), QStringLiteral("system"));
    m_picker->addItem(QStringLiteral("Dansk"), QStringLiteral("da"));
    m_picker->addItem(QStringLiteral("English"), QStringLiteral("en"));
    title->setBuddy(m_picker);
    row->addWidget(title);
    row->addWidget(m_picker, 1);
    layout->addLayout(row);

    layout->addWidget(UiKit::label(loc("Genåbn appen for at anvende det nye sprog. Igangværende arbejde fortsætter uændret."),
                                   {.scale = 0.92, .secondary = true, .plain = false}, this));
    layout->addWidget(
        UiKit::label(loc("Sproget ændrer kun appens betjening. Kundens manuskript, noter og filer bevares."),
                     {.scale = 0.85, .secondary = true, .plain = false}, this));
    layout->addStretch();

    // A stored value that is none of the three shows no choice.
    m_picker->setCurrentIndex(m_picker->findData(storedPreference()));
    connect(m_picker, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            SettingsStore::standard().setValue(QLatin1String(EditorLocalization::preferenceKey),
                                               m_picker->itemData(index).toString());
    });
}

QString EditorSettingsView::storedPreference()
{
    const QVariant value = SettingsStore::standard().value(QLatin1String(EditorLocalization::preferenceKey));
    return value.isValid() ? value.toString() : QStringLiteral("system");
}
