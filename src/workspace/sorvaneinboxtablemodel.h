#pragma once

#include "inbox/sorvaneinboxpresentation.h"
#include "inbox/sorvaneinboxrecords.h"

#include "inbox/sorvaneinboxmodel.h"

#include <QAbstractTableModel>
#include <QPointer>


// The inbox as a two-column table ("Film", "Start deadline"): the rows of
// every group, group after group, without the pinned next task. The first
// row of a group carries the group's title while the inbox is grouped.
class SorvaneInboxTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { FilmColumn, DeadlineColumn };
    enum Role {
        RequestIDRole = Qt::UserRole + 1,
        GroupTitleRole, // a text only on a group's first row
        CampaignRole,
        StatusRole,
    };

    explicit SorvaneInboxTableModel(SorvaneInboxModel *inbox, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    const SorvaneInboxRow &row(int index) const
    {
        const Entry &entry = m_rows.at(index);
        return m_arrangement.row(m_arrangement.sections.at(entry.group).rows.at(entry.row));
    }
    int indexOf(const QString &requestID) const;
    // An inactive model holds no rows and follows the inbox only once it is
    // active again: a hidden list costs nothing.
    void setActive(bool active);
    bool isActive() const { return m_active; }

    // "—" for a closed task or one without a start deadline.
    static QString deadlineText(const SorvaneInboxRow &row);

private:
    struct Entry
    {
        int group = 0;
        int row = 0;
        bool first = false; // shows the group's title
    };
    void reload();

    QPointer<SorvaneInboxModel> m_inbox;
    bool m_active = true;
    // The inbox's rows, shared; entries point into its sections.
    SorvaneInboxModel::Arrangement m_arrangement;
    QList<Entry> m_rows;
};
