#pragma once

#include "inbox/sorvaneinboxrecords.h"

#include <QAbstractListModel>
#include <QPointer>

class SorvaneInboxModel;

// The visible inbox rows of a SorvaneInboxModel for a list view. Reads the
// model's derived list again whenever anything it depends on changes.
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
    };

    explicit SorvaneInboxListModel(SorvaneInboxModel *inbox, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    const SorvaneInboxRow &row(int index) const { return m_rows.at(index); }

private:
    void reload();
    void selectionChanged();

    QPointer<SorvaneInboxModel> m_inbox;
    QList<SorvaneInboxRow> m_rows;
    std::optional<QString> m_pinnedID;
};
