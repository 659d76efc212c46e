#pragma once

#include <QString>

// A file size as people read it: decimal units (1 KB = 1000 bytes), whole
// kilobytes, one decimal for megabytes, two above, under the interface
// language's decimal separator.
QString fileByteCount(qint64 bytes);
