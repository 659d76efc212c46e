#pragma once

#include "inbox/sorvaneinboxrecords.h"
#include "sorvanemetadatasheet.h"

#include <QAbstractButton>
#include <QPointer>
#include <QSet>
#include <QWidget>
#include <optional>

class QLabel;
class QPushButton;
class QScrollArea;
class QToolButton;
class SorvaneWorkspace;

// The link-like button of one film in a stage column: its title underlined,
// at most two lines in a fixed width.
class SorvanePipelineFilmButton final : public QAbstractButton
{
    Q_OBJECT
public:
    static constexpr int width = 130;
    SorvanePipelineFilmButton(const QString &title, QWidget *parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_lines;
};

// The collapsible panel of the selected task's customer pipeline: films by
// stage, "Load more films", and the way to the metadata-sharing sheet. It
// only reads the inbox model and calls its operations; the first page is
// asked for by the workspace when a task is opened. One instance follows the
// selected row through setItem().
class SorvanePipelineView final : public QWidget
{
    Q_OBJECT
public:
    // The body's height: it scrolls beyond the maximum and never shrinks below the minimum.
    static constexpr int bodyMinimum = 150, bodyMaximum = 260;

    SorvanePipelineView(SorvaneWorkspace &workspace, QWidget *parent = nullptr);
    ~SorvanePipelineView() override;

    void setItem(const SorvaneInboxRow &item);
    // Keeps the item at the inbox's selected row from now on, for a place
    // that builds the panel once and never hands it a row.
    void followSelection();
    const std::optional<SorvaneInboxRow> &item() const { return m_item; }
    bool expanded() const { return m_expanded; }
    // The open sharing sheet, if any.
    SorvaneMetadataSheet *sheet() const { return m_sheet; }

private:
    void setExpanded(bool expanded);
    void rebuild();
    QWidget *loadedBlock(QWidget *parent);
    QWidget *stageColumn(SorvanePipelineStage stage, const QList<SorvanePipelineFilm> &films, QWidget *parent);
    void applyEnabled();
    void openSharing();

    SorvaneWorkspace &m_workspace;
    std::optional<SorvaneInboxRow> m_item;
    bool m_expanded = true;
    QSet<SorvanePipelineStage> m_expandedStages;
    QToolButton *m_disclosure;
    QScrollArea *m_body;
    QWidget *m_content;
    QWidget *m_state = nullptr;
    QScrollArea *m_strip = nullptr;
    QPushButton *m_share;
    QLabel *m_error;
    QList<QPointer<SorvanePipelineFilmButton>> m_filmButtons;
    QPointer<SorvaneMetadataSheet> m_sheet;
};
