#pragma once

#include "foundation/records/packagerecords.h"

#include <QSharedPointer>
#include <QWidget>
#include <functional>
#include <memory>

class DesktopServices;
class EditorModel;
class QGroupBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The opened package: title, kind, the customer's brief, the prepare
// button and, once prepared, what the hand-off holds.
class PackageView final : public QWidget
{
    Q_OBJECT
public:
    // Builds the customer's brief for a context (the brief area provides it).
    using BriefFactory = std::function<QWidget *(const PackageContext &, QWidget *parent)>;

    PackageView(QSharedPointer<EditorModel> model, std::shared_ptr<DesktopServices> desktop,
                BriefFactory brief = {}, QWidget *parent = nullptr);

private:
    void rebuildContext();
    void update();

    QSharedPointer<EditorModel> m_model;
    std::shared_ptr<DesktopServices> m_desktop;
    BriefFactory m_briefFactory;
    QLabel *m_title;
    QLabel *m_kindIcon;
    QLabel *m_kind;
    QVBoxLayout *m_briefSlot;
    QWidget *m_brief = nullptr;
    QPushButton *m_prepare;
    QLabel *m_description;
    QGroupBox *m_handoffBox;
    QLabel *m_handoffSummary;
    QVBoxLayout *m_notices;
    QPushButton *m_startGuide;
    QPushButton *m_reveal;
};
