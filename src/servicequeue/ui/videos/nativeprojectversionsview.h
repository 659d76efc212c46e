#pragma once

#include "servicequeue/videorecords.h"

#include <QWidget>
#include <functional>

class DesktopServices;
class QVBoxLayout;

// The native project copies kept for one video version and the state of the
// automatic copy. Shows only what it is given; without `onDisable` it is
// read-only (the explanations stay, the buttons go).
class NativeProjectVersionsView final : public QWidget
{
    Q_OBJECT
public:
    explicit NativeProjectVersionsView(DesktopServices *desktop, QWidget *parent = nullptr);

    void setContent(const QList<NativeProjectVersion> &versions, const QStringList &automaticProjects,
              bool requiresExplicitSelection, std::function<void()> onDisable);

private:
    DesktopServices *m_desktop;
    QVBoxLayout *m_column;
    std::function<void()> m_onDisable;
};
