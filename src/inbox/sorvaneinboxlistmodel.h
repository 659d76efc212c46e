#pragma once

#include "inbox/sorvaneinboxmodel.h"
#include "inbox/sorvaneinboxpresentation.h"
#include "inbox/sorvaneinboxrecords.h"

#include <QAbstractListModel>
#include <QPointer>

class SorvaneInboxModel;

// The inbox of a SorvaneInboxModel as one list with section headers: the
// pinned next task under "Next in production", then every group under its
// title (a group without a title has no header). Header rows cannot be
// selected. Reads the model's derived lists again whenever anything they
// depend on changes.
class SorvaneInboxListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        RequestIDRole = Qt::UserRole + 1,
        CustomerRole,
        StatusRole,
        SelectedRole,
        PinnedRole,
        HeaderRole, // true for a section header
        IdentifierRole, // "sorvane.task." + request id; none for a header
    };

    explicit SorvaneInboxListModel(SorvaneInboxModel *inbox, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QHash<int, QByteArray> roleNames() const override;

    bool isHeader(int index) const { return m_entries.at(index).row < 0; }
    // The task of a row that is no header.
    const SorvaneInboxRow &row(int index) const
    {
        const Entry &entry = m_entries.at(index);
        return entry.pinned ? *m_rows.pinned : m_rows.row(m_rows.sections.at(entry.group).rows.at(entry.row));
    }
    bool isPinned(int index) const { return m_entries.at(index).pinned; }
    // The list row of a task; -1 when it is not listed.
    int indexOf(const QString &requestID) const;
    // An inactive model holds no rows and follows the inbox only once it is
    // active again: a hidden list costs nothing.
    void setActive(bool active);
    bool isActive() const { return m_active; }

private:
    struct Entry
    {
        int group = -1;
        int row = -1; // within its group; -1 for a header
        bool pinned = false;
    };

    void reload();
    void selectionChanged();

    QPointer<SorvaneInboxModel> m_inbox;
    bool m_active = true;
    // The rows stay in the inbox's row list (shared, not copied); entries
    // point into its sections.
    SorvaneInboxModel::Arrangement m_rows;
    QList<Entry> m_entries;
    // The selection the rows last reported.
    std::optional<QString> m_selectedID;
};
