#include "inbox/sorvaneinboxlistmodel.h"

#include "inbox/sorvaneinboxmodel.h"

SorvaneInboxListModel::SorvaneInboxListModel(SorvaneInboxModel *inbox, QObject *parent)
    : QAbstractListModel(parent), m_inbox(inbox)
{
    // Everything the filtered, sorted list is computed from.
    for (auto signal : {&SorvaneInboxModel::itemsChanged, &SorvaneInboxModel::nextItemChanged,
                        &SorvaneInboxModel::preferencesChanged, &SorvaneInboxModel::operatorIDChanged})
        connect(inbox, signal, this, &SorvaneInboxListModel::reload);
    connect(inbox, &SorvaneInboxModel::selectedIDChanged, this, &SorvaneInboxListModel::selectionChanged);
    reload();
}

void SorvaneInboxListModel::reload()
{
    beginResetModel();
    m_rows = m_inbox ? m_inbox->visibleItems() : QList<SorvaneInboxRow>();
    const auto pinned = m_inbox ? m_inbox->pinnedNextItem() : std::nullopt;
    m_pinnedID = pinned ? std::optional<QString>(pinned->request.id) : std::nullopt;
    endResetModel();
}

void SorvaneInboxListModel::selectionChanged()
{
    if (!m_rows.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_rows.size()) - 1), {SelectedRole});
}

int SorvaneInboxListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant SorvaneInboxListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const SorvaneInboxRow &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return row.film.title;
    case RequestIDRole:
        return row.request.id;
    case CustomerRole:
        return row.company.name;
    case StatusRole:
        return row.request.statusTitle();
    case SelectedRole:
        return m_inbox && m_inbox->selectedID() == row.request.id;
    case PinnedRole:
        return m_pinnedID == row.request.id;
    default:
        return {};
    }
}

QHash<int, QByteArray> SorvaneInboxListModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(RequestIDRole, "requestID");
    names.insert(CustomerRole, "customer");
    names.insert(StatusRole, "status");
    names.insert(SelectedRole, "selected");
    names.insert(PinnedRole, "pinned");
    return names;
}
