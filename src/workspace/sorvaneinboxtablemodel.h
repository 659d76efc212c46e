#pragma once

#include "inbox/sorvaneinboxrecords.h"

#include <QAbstractTableModel>
#include <QPointer>

class SorvaneInboxModel;

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

    const SorvaneInboxRow &row(int index) const { return m_rows.at(index).row; }
    int indexOf(const QString &requestID) const;

    // "—" for a closed task or one without a start deadline.
    static QString deadlineText(const SorvaneInboxRow &row);

private:
    struct Entry
    {
        SorvaneInboxRow row;
        QString groupTitle;
    };
    void reload();

    QPointer<SorvaneInboxModel> m_inbox;
    QList<Entry> m_rows;
};
