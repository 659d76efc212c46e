#include "mountwatcher.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

ProcMountWatcher::ProcMountWatcher(QObject *parent, const QString &mountTable)
    : MountWatcher(parent), m_path(mountTable)
{
    // One mount can raise several notices in a row; report them as one.
    m_coalesce = new QTimer(this);
    m_coalesce->setSingleShot(true);
    m_coalesce->setInterval(100);
    connect(m_coalesce, &QTimer::timeout, this, &MountWatcher::volumesChanged);

    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Exception, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            // The kernel clears the flag once poll() has reported it; reading
            // from the start keeps the descriptor's view current as well.
            char buffer[4096];
            ::lseek(m_fd, 0, SEEK_SET);
            while (::read(m_fd, buffer, sizeof buffer) > 0) {
            }
            scheduleNotice();
        });
        return;
    }

    m_lastTable = readTable();
    m_poll = new QTimer(this);
    m_poll->setInterval(2000);
    connect(m_poll, &QTimer::timeout, this, [this] {
        const QByteArray table = readTable();
        if (table != m_lastTable) {
            m_lastTable = table;
            scheduleNotice();
        }
    });
    m_poll->start();
}

ProcMountWatcher::~ProcMountWatcher()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

void ProcMountWatcher::scheduleNotice()
{
    if (!m_coalesce->isActive())
        m_coalesce->start();
}

QByteArray ProcMountWatcher::readTable() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}
