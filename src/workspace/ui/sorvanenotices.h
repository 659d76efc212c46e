#pragma once

#include "workspace/sorvaneworkspace.h"

#include <QWidget>

class QVBoxLayout;

// The banners of the detail column, in the workspace's order. They float
// over the top of their parent (the column) instead of taking a place in its
// layout: banners come and go with operations, and a banner that pushed the
// detail down moved its controls from under the pointer. The column keeps
// `reservedHeight()` free above the detail, so one banner covers nothing (a
// message stays until the next operation; it hid the ticket's customer).
class SorvaneNotices final : public QWidget
{
    Q_OBJECT
public:
    explicit SorvaneNotices(SorvaneWorkspace &workspace, QWidget *parent);
    // The height of one banner of one line, the tallest kind, with its line.
    int reservedHeight();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void rebuild();
    void place();
    QWidget *banner(const SorvaneNotice &notice);

    SorvaneWorkspace &m_workspace;
    QVBoxLayout *m_layout;
    QList<SorvaneNotice> m_shown;
};
