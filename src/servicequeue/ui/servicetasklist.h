#pragma once

#include "servicequeue/servicerecords.h"

#include <QWidget>
#include <optional>

class QPushButton;
class QVBoxLayout;
class ServiceActionResult;
class ServiceQueueEditor;
class ServiceQueueModel;

// The chosen company's submitted tasks: the fetch button and one row per
// task, whose status is the opened task's own when it is that task.
class ServiceTaskList final : public QWidget
{
    Q_OBJECT
public:
    // A row the person opens awaits the screen's task detail in `results`.
    ServiceTaskList(ServiceQueueModel &model, ServiceQueueEditor &editor, ServiceActionResult &results,
                    QWidget *parent = nullptr);

    // "<kind> · <status>", the status taken from the opened task when it is this row.
    static QString statusLine(const ServiceReceipt &row, const std::optional<ServiceDetail> &opened);

private:
    void rebuild();

    ServiceQueueModel &m_model;
    ServiceQueueEditor &m_editor;
    ServiceActionResult &m_results;
    QPushButton *m_fetch;
    QWidget *m_section;
    QVBoxLayout *m_rows;
};
