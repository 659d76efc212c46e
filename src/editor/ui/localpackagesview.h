#pragma once

#include "packageview.h"

#include <QSharedPointer>
#include <QWidget>
#include <memory>

class DesktopServices;
class EditorModel;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;

// The verified packages of the project folder beside the opened package
// (or, when none is open, a panel that says what to do next).
class LocalPackagesView final : public QWidget
{
    Q_OBJECT
public:
    LocalPackagesView(QSharedPointer<EditorModel> model, std::shared_ptr<DesktopServices> desktop,
                      PackageView::BriefFactory brief = {}, QWidget *parent = nullptr);

Q_SIGNALS:
    // The settings sheet switches to another section: "storage" or "cloud".
    void sectionRequested(const QString &section);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void rebuildList();
    void fitRows();
    void update();
    void selectionMoved();

    QSharedPointer<EditorModel> m_model;
    QListWidget *m_list;
    QPushButton *m_refresh;
    QStackedWidget *m_detail;
    QWidget *m_empty;
    QLabel *m_emptyTitle;
    QLabel *m_emptyDescription;
    QLabel *m_invalid;
    PackageView *m_package;
};
