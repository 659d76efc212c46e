#pragma once

#include "detailparts.h"

class ServiceSentVersions;
namespace TaskDetailRules {
enum class TakePlace;
}

// The opened task: its heading and every action on it (take it, fetch it,
// the film folder, history and brief, working folders, the proposal under
// review, the video return) and the versions sent for it; in the versions
// layout the version delivery and the sent versions only. Holds no state of
// its own beyond the kept video return view and the sent-version groups, so
// the players and open groups in them survive model refreshes.
class ServiceTaskDetail final : public QWidget
{
    Q_OBJECT
public:
    explicit ServiceTaskDetail(ServiceTaskDetailParts parts, QWidget *parent = nullptr);

private:
    void rebuild();
    void buildHeading();
    void buildDelivery();
    void buildTask();
    void addTakeOrFetch(QVBoxLayout *into, TaskDetailRules::TakePlace place);
    void buildPackage(QVBoxLayout *top);
    void buildWorkingFolder();
    void placeReturnView(bool shown);

    ServiceTaskDetailParts m_parts;
    QVBoxLayout *m_heading;
    QVBoxLayout *m_top;
    QVBoxLayout *m_bottom;
    QVBoxLayout *m_returnSlot;
    ServiceVideoReturnView *m_return = nullptr;
    ServiceSentVersions *m_sent = nullptr;
};
