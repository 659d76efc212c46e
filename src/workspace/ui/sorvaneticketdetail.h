#pragma once

#include "sorvaneinboxviews.h"
#include "workspace/ticket/sorvaneticket.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class QComboBox;
class QLabel;
class QScrollArea;
class QStackedWidget;
class QTabBar;
class QTimer;
class QVBoxLayout;
class SorvaneAvatarView;
class SorvaneTicketCustomerView;
class SorvaneWorkspace;
struct PackageContext;

// The section picker: segments while they fit the offered width, otherwise
// a menu. Both offer the same four sections.
class SorvaneTabPicker final : public QWidget
{
    Q_OBJECT
public:
    explicit SorvaneTabPicker(QWidget *parent = nullptr);

    SorvaneDetailTab tab() const { return m_tab; }
    void setTab(SorvaneDetailTab tab);
    bool showsMenu() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void tabChosen(SorvaneDetailTab tab);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void arrange();

    SorvaneDetailTab m_tab = SorvaneDetailTab::task;
    QTabBar *m_segments;
    QComboBox *m_menu;
};

// The detail column of the workspace: the selected inbox task's customer,
// instructor, campaign, stage and schedule, its one primary action, the
// project folder, and four sections over the task screen, the submitted
// instructions and material, and the sent versions. Below them sits the
// customer's pipeline. Keeps only the chosen section; everything else is
// read from the workspace's models as they change.
class SorvaneTicketDetail final : public QWidget
{
    Q_OBJECT
public:
    // What the window supplies: the service queue screen of the opened task
    // (`versionsOnly` its versions layout; `showVersions` leads to the
    // versions section) and the view of a read brief. Either may be none.
    struct Embeds
    {
        std::function<QWidget *(bool versionsOnly, std::function<void()> showVersions, QWidget *parent)> taskScreen;
        std::function<QWidget *(const PackageContext &context, QWidget *parent)> brief;
        // The customer's pipeline under the sections; none leaves the place empty.
        std::function<QWidget *(QWidget *parent)> pipeline;
    };

    SorvaneTicketDetail(SorvaneWorkspace &workspace, Embeds embeds, SorvaneClock clock = {},
                        QWidget *parent = nullptr);

    // The least height of the section; a shorter column scrolls the whole detail.
    static constexpr int minimumSectionHeight = 220;

    SorvaneDetailTab tab() const { return m_tab; }
    void setTab(SorvaneDetailTab tab);
    // Where the customer's pipeline goes, below the sections.
    QWidget *pipelineSlot() const { return m_pipelineSlot; }

    // Whether the whole detail is held still: an operation runs, or the inbox
    // or the customer directory loads or changes.
    static bool held(const SorvaneWorkspace &workspace);

private:
    void refresh();
    void refreshHeader(const SorvaneInboxRow &row);
    void refreshStatus(const SorvaneInboxRow &row);
    void refreshFolder(const SorvaneInboxRow &row);
    void refreshSection(const SorvaneInboxRow &row);
    void refreshUnopened(const SorvaneInboxRow &row);
    void refreshSource(const SorvaneInboxRow &row);
    void refreshDeadline();
    QWidget *actionArea(const SorvaneInboxRow &row, const SorvaneTicket::Action &action, QWidget *parent);
    QWidget *sourceContent(const SorvaneInboxRow &row, QWidget *parent);
    void runAction(SorvaneTicket::Action::Kind kind);
    void runStep(SorvaneTicket::SourceStep::Kind kind);

    SorvaneWorkspace &m_workspace;
    Embeds m_embeds;
    SorvaneClock m_clock;
    SorvaneDetailTab m_tab = SorvaneDetailTab::task;
    std::optional<QString> m_requestID;

    QScrollArea *m_scroll;
    SorvaneTicketCustomerView *m_customer = nullptr;
    QLabel *m_title;
    QWidget *m_instructor;
    SorvaneAvatarView *m_instructorAvatar;
    QLabel *m_instructorName;
    QWidget *m_campaign;
    QLabel *m_campaignTitle;
    QVBoxLayout *m_statusHolder;
    QWidget *m_status = nullptr;
    QString m_statusKey;
    QLabel *m_deadline = nullptr;
    std::optional<QString> m_deadlineDue;
    QWidget *m_folder;
    QLabel *m_folderDisk;
    QLabel *m_folderPath;
    QWidget *m_folderButton;
    QWidget *m_storageIssue;
    QLabel *m_storageIssueText;
    SorvaneTabPicker *m_picker;
    QStackedWidget *m_sections;
    QWidget *m_opening;
    QLabel *m_openingTitle;
    QLabel *m_openingText;
    QWidget *m_openAgain;
    QPointer<QWidget> m_taskScreen;
    QPointer<QWidget> m_versionsScreen;
    QScrollArea *m_source;
    QString m_sourceKey;
    bool m_sourceStale = true;
    QWidget *m_pipelineDivider;
    QWidget *m_pipelineSlot;
    QTimer *m_minute;
};
