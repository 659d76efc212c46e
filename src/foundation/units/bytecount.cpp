#include "bytecount.h"

#include "foundation/localization.h"

QString fileByteCount(qint64 bytes)
{
    if (bytes == 0)
        return loc("Zero KB");
    if (bytes == 1)
        return loc("1 byte");
    if (bytes < 1000)
        return loc("%lld bytes", {bytes});
    const double value = double(bytes);
    if (value < 999.5e3)
        return loc("%lld KB", {qint64(value / 1e3 + 0.5)});
    if (value < 999.95e6)
        return loc("%.1f MB", {value / 1e6});
    if (value < 999.995e9)
        return loc("%.2f GB", {value / 1e9});
    return loc("%.2f TB", {value / 1e12});
}
