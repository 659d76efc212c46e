#pragma once

#include "detailparts.h"

class ProposalGroup;

// Every version sent for the opened task, newest first, each a collapsed
// group with its stage, content, review video, saved projects and the
// customer's decisions with their reactions. Groups, decision rows and
// reaction rows are kept by id across refreshes, so their open state and
// their players survive a new history or reaction list.
class ServiceSentVersions final : public QWidget
{
    Q_OBJECT
public:
    ServiceSentVersions(ServiceTaskDetailParts parts, QWidget *parent = nullptr);

    void refresh();

private:
    ServiceTaskDetailParts m_parts;
    QVBoxLayout *m_groups;
    QHash<QString, ProposalGroup *> m_items;
};
