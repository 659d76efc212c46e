#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>

// The peak resident memory of this process, for tests that bound what an
// input may cost. Under AddressSanitizer a test that uses it also sets a small
// quarantine (__asan_default_options), or freed blocks count as held memory.
namespace PeakMemory {

// Bytes since the last reset, or -1.
inline qint64 peak()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

// False when this kernel cannot reset the figure.
inline bool reset()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

} // namespace PeakMemory
