#pragma once

#include "aiconnection/sorvaneaiconnectionpanelmodel.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;
class QWidget;

// The AI connection sheet (600 × 620): the local check of the project folder's MCP server and, when
// it is ready, the definition to copy into an AI desktop client. Self-contained: give it the
// target; `load` replaces the tools' fetch (tests). The first check starts when it is shown;
// closing it cancels a running check silently.
class SorvaneAIConnectionPanel final : public QDialog
{
    Q_OBJECT
public:
    explicit SorvaneAIConnectionPanel(SorvaneAIConnectionPanelModel::Target target, QWidget *parent = nullptr,
                                      SorvaneAIConnectionPanelModel::Load load = {});
    ~SorvaneAIConnectionPanel() override;

    SorvaneAIConnectionPanelModel &model() { return m_model; }

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

private:
    void refresh();
    QWidget *field(const QString &title, const QString &value);

    SorvaneAIConnectionPanelModel m_model;
    bool m_started = false;
    QWidget *m_busyRow = nullptr;
    QLabel *m_error = nullptr;
    QWidget *m_details = nullptr;
    QPushButton *m_again = nullptr;
    QWidget *m_connection = nullptr;
    QLabel *m_copied = nullptr;
    QVBoxLayout *m_column = nullptr;
};
