#include "foundation/units/datetimetext.h"
#include "workspace/sorvaneinboxtablemodel.h"

#include "foundation/localization.h"
#include "foundation/propertyassign.h"
#include "inbox/sorvaneinboxmodel.h"
#include "workspace/sorvanedate.h"
#include "workspace/sorvaneinboxrowcontent.h"

SorvaneInboxTableModel::SorvaneInboxTableModel(SorvaneInboxModel *inbox, QObject *parent)
    : QAbstractTableModel(parent), m_inbox(inbox)
{
    for (auto signal : SorvaneInboxModel::arrangementSignals())
        connect(inbox, signal, this, &SorvaneInboxTableModel::reload);
    reload();
}

void SorvaneInboxTableModel::setActive(bool active)
{
    if (assignChanged(m_active, active))
        reload();
}

void SorvaneInboxTableModel::reload()
{
    beginResetModel();
    m_rows.clear();
    m_arrangement = {};
    if (m_inbox && m_active) {
        const bool grouped = m_inbox->preferences().group != SorvaneInboxGrouping::none;
        m_arrangement = m_inbox->arrangement();
        qsizetype count = 0;
        for (const SorvaneInboxSection &section : std::as_const(m_arrangement.sections))
            count += section.rows.size();
        m_rows.reserve(count);
        for (int g = 0; g < m_arrangement.sections.size(); ++g)
            for (int i = 0; i < m_arrangement.sections.at(g).rows.size(); ++i)
                m_rows.append({g, i, grouped && i == 0});
    }
    endResetModel();
}

int SorvaneInboxTableModel::indexOf(const QString &requestID) const
{
    for (int i = 0; i < m_rows.size(); ++i)
        if (row(i).request.id == requestID)
            return i;
    return -1;
}

QString SorvaneInboxTableModel::deadlineText(const SorvaneInboxRow &row)
{
    if (sorvaneTaskClosed(row) || !row.scheduling.dueAt)
        return QStringLiteral("\u2014");
    return shortDateTimeText(*row.scheduling.dueAt);
}

int SorvaneInboxTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int SorvaneInboxTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

Qt::ItemFlags SorvaneInboxTableModel::flags(const QModelIndex &index) const
{
    // What checkIndex() checks, without its calls: the view asks this of
    // every row after each change of the list.
    if (!index.isValid() || index.model() != this || index.row() >= m_rows.size() || index.column() >= 2)
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QVariant SorvaneInboxTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Entry &entry = m_rows.at(index.row());
    const SorvaneInboxRow &row = this->row(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == FilmColumn ? row.request.title : deadlineText(row);
    case RequestIDRole:
        return row.request.id;
    case GroupTitleRole:
        return entry.first && !m_arrangement.sections.at(entry.group).title.isEmpty()
            ? QVariant(m_arrangement.sections.at(entry.group).title)
            : QVariant();
    case CampaignRole:
        return row.film.campaignTitle ? QVariant(*row.film.campaignTitle) : QVariant();
    case StatusRole:
        return row.request.statusTitle();
    default:
        return {};
    }
}

QVariant SorvaneInboxTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return section == FilmColumn ? loc("Film") : loc("Start deadline");
}
