#pragma once

#include "servicequeue/servicerecords.h"

#include <QWidget>

class QVBoxLayout;

// One proposal, read-only, as one selectable column: title, body, the
// review video of a film version, concept options, script sections, shots,
// open questions and the author's sources. Empty parts are left out, so
// concept, script and film proposals share the view.
class ProposalContentView final : public QWidget
{
    Q_OBJECT
public:
    explicit ProposalContentView(const ProposalContent &content, QWidget *parent = nullptr);

    void setContent(const ProposalContent &content);

    // The shot's kind as shown: "B-roll" only for exactly "bRoll".
    static QString shotKindLabel(const QString &kind);

private:
    QVBoxLayout *m_column;
};
