#pragma once

#include "settings/sorvanesettingssection.h"

#include <QFrame>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <optional>
#include <span>

class QLabel;
class SorvaneSettingsModel;
class SorvaneSettingsPaneBuilder;
class SorvaneSettingsView;

// One pane of the settings sheet, declared once in the list of
// sorvanesettingspanes.cpp: its sidebar row, its header and its content.
struct SorvaneSettingsPane
{
    SorvaneSettingsSection section;
    // The section's raw value: its sidebar row is "sorvane.settings.<id>".
    const char *id;
    const char *title; // locKey
    // The symbol name shown in the sidebar row and the pane header.
    const char *symbol;
    // Builds the content, every widget a child of the builder's sheet.
    QWidget *(*create)(SorvaneSettingsPaneBuilder &);
    // What the content is built from besides the section and the demo: the
    // pane is built again when it changes. None: nothing else.
    QStringList (*key)(const SorvaneSettingsModel &) = nullptr;
    // The rule that enables the control the content marks with
    // `SorvaneSettingsPaneBuilder::follow`. None: no control follows.
    bool (SorvaneSettingsModel::*enabled)() const = nullptr;
};

// The panes in the sheet's order, which is the order of SorvaneSettingsSection.
std::span<const SorvaneSettingsPane> settingsPanes();
const SorvaneSettingsPane &settingsPane(SorvaneSettingsSection section);

QString rawValue(SorvaneSettingsSection section);
// The section of an exact raw value ("ai"); none for anything else.
std::optional<SorvaneSettingsSection> settingsSectionFromRaw(const QString &raw);
QList<SorvaneSettingsSection> allSettingsSections();
// The title in the interface language.
QString title(SorvaneSettingsSection section);
// The symbol name shown in the sidebar row and the pane header.
QString symbol(SorvaneSettingsSection section);

// What a pane's content is built with: the sheet (the parent of its widgets),
// the sheet's model, and the sheet's look.
class SorvaneSettingsPaneBuilder
{
public:
    SorvaneSettingsPaneBuilder(SorvaneSettingsView &sheet, const SorvaneSettingsPane &pane);

    SorvaneSettingsView &sheet() const { return m_sheet; }
    SorvaneSettingsModel &model() const;
    const SorvaneSettingsPane &pane() const { return m_pane; }

    // The pane's header (its symbol and title), the first of a scrolling pane's elements.
    QList<QWidget *> header();
    // The sheet's scrolling pane of `elements`, one below the other.
    QWidget *scrolling(const QList<QWidget *> &elements);
    // A row of `control` at its own width, on the left.
    QWidget *row(QWidget *control);
    // `control`'s enabling follows the pane's `enabled` rule.
    void follow(QWidget *control) { m_follower = control; }
    QWidget *follower() const { return m_follower; }

    // The sheet's look, shared with its frame.
    static QFrame *divider(QFrame::Shape shape, QWidget *parent);
    static QFont titleFont(QFont font);
    // A symbol and a text in one row, as the pane headers and the customer label show them.
    static QWidget *labelled(const QString &symbol, const QString &text, const QFont &font, QWidget *parent);

private:
    SorvaneSettingsView &m_sheet;
    const SorvaneSettingsPane &m_pane;
    QPointer<QWidget> m_follower;
};
