#pragma once

#include "servicequeue/servicerecords.h"

#include <QObject>
#include <QStringList>
#include <QUuid>
#include <optional>

// What a window needs of its inbox model: clearing and reloading it, the
// selected row's task, the signed-in operator, and the flags of its running
// work. The window's inbox model is adapted to this; tests give a fake.
class RootInbox : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~RootInbox() override = default;

    // Cancels the inbox's work and empties it.
    virtual void clear() = 0;
    // Loads the first inbox page under the window editor's session and tools folder.
    virtual void refresh() = 0;

    // The task of the selected row; none while no row is selected.
    virtual std::optional<ServiceReceipt> selectedRequest() const = 0;
    virtual std::optional<QUuid> operatorID() const = 0;

    virtual bool loading() const = 0;
    virtual bool mutating() const = 0;
    virtual bool selectingRequest() const = 0;
    virtual bool pipelineLoading() const = 0;
    virtual bool metadataLoading() const = 0;

    // One line per loaded row (film, kind of work, company), in the inbox's
    // order (the plain status list).
    virtual QStringList rowTitles() const = 0;
    virtual std::optional<QString> error() const = 0;
    // The selected row's place in rowTitles(), and selecting a row by its place.
    virtual std::optional<int> selectedRow() const { return std::nullopt; }
    virtual void selectRow(int) {}

Q_SIGNALS:
    // Any of the five work flags may have changed.
    void activityChanged();
    void selectionChanged();
    void rowsChanged();
};
