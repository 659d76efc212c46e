#include "inbox/sorvaneinboxlistmodel.h"

#include "foundation/localization.h"
#include "foundation/propertyassign.h"
#include "inbox/sorvaneinboxmodel.h"

SorvaneInboxListModel::SorvaneInboxListModel(SorvaneInboxModel *inbox, QObject *parent)
    : QAbstractListModel(parent), m_inbox(inbox)
{
    // Everything the filtered, sorted and grouped list is computed from.
    for (auto signal : SorvaneInboxModel::arrangementSignals())
        connect(inbox, signal, this, &SorvaneInboxListModel::reload);
    connect(inbox, &SorvaneInboxModel::selectedIDChanged, this, &SorvaneInboxListModel::selectionChanged);
    reload();
}

void SorvaneInboxListModel::setActive(bool active)
{
    if (assignChanged(m_active, active))
        reload();
}

void SorvaneInboxListModel::reload()
{
    beginResetModel();
    m_rows = {};
    m_entries.clear();
    m_selectedID = m_inbox ? m_inbox->selectedID() : std::nullopt;
    if (m_inbox && m_active) {
        m_rows = m_inbox->arrangement();
        qsizetype count = m_rows.pinned ? 2 : 0;
        for (const SorvaneInboxSection &section : std::as_const(m_rows.sections))
            count += section.rows.size() + 1;
        m_entries.reserve(count);
        if (m_rows.pinned) {
            m_entries.append({-1, -1, true});
            m_entries.append({-1, 0, true});
        }
        for (int g = 0; g < m_rows.sections.size(); ++g) {
            if (!m_rows.sections.at(g).title.isEmpty())
                m_entries.append({g, -1, false});
            for (int i = 0; i < m_rows.sections.at(g).rows.size(); ++i)
                m_entries.append({g, i, false});
        }
    }
    endResetModel();
}

void SorvaneInboxListModel::selectionChanged()
{
    // Only the rows that were and are selected change: a notice over every
    // row would have the view measure all of them.
    const std::optional<QString> selected = m_inbox ? m_inbox->selectedID() : std::nullopt;
    if (selected == m_selectedID)
        return;
    const std::optional<QString> previous = std::exchange(m_selectedID, selected);
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).row < 0)
            continue;
        const QString &id = row(i).request.id;
        if (id == previous || id == selected)
            Q_EMIT dataChanged(index(i), index(i), {SelectedRole});
    }
}

int SorvaneInboxListModel::indexOf(const QString &requestID) const
{
    for (int i = 0; i < m_entries.size(); ++i)
        if (m_entries.at(i).row >= 0 && row(i).request.id == requestID)
            return i;
    return -1;
}

int SorvaneInboxListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

Qt::ItemFlags SorvaneInboxListModel::flags(const QModelIndex &index) const
{
    // What checkIndex() checks, without its calls: the view asks this of
    // every row after each change of the list.
    if (!index.isValid() || index.model() != this || index.row() >= m_entries.size() || index.column() >= 1)
        return Qt::NoItemFlags;
    if (isHeader(index.row()))
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QVariant SorvaneInboxListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Entry &entry = m_entries.at(index.row());
    if (entry.row < 0) {
        switch (role) {
        case Qt::DisplayRole:
            return entry.pinned ? loc("Next in production") : m_rows.sections.at(entry.group).title;
        case HeaderRole:
            return true;
        default:
            return {};
        }
    }
    const SorvaneInboxRow &row = this->row(index.row());
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
        return entry.pinned;
    case HeaderRole:
        return false;
    case IdentifierRole:
        return QStringLiteral("sorvane.task.") + row.request.id;
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
    names.insert(HeaderRole, "header");
    names.insert(IdentifierRole, "identifier");
    return names;
}
