#pragma once

#include "workspace/sorvaneworkspace.h"

#include <QWidget>

class QVBoxLayout;

// The banners above the ticket detail, in the workspace's order; no space
// at all while there is none.
class SorvaneNotices final : public QWidget
{
    Q_OBJECT
public:
    explicit SorvaneNotices(SorvaneWorkspace &workspace, QWidget *parent = nullptr);

private:
    void rebuild();
    QWidget *banner(const SorvaneNotice &notice);

    SorvaneWorkspace &m_workspace;
    QVBoxLayout *m_layout;
    QList<SorvaneNotice> m_shown;
};
