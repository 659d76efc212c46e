#include "mediaplayer.h"

#include <algorithm>
#include <cmath>

namespace {
// Far beyond any film the service accepts (a day), small enough that the
// step count and its milliseconds stay exact in 64 bits.
constexpr double kLimitSeconds = 1e12;
} // namespace

MediaTime MediaTime::fromSeconds(double seconds)
{
    if (std::isnan(seconds))
        return {};
    const double bounded = std::clamp(seconds, -kLimitSeconds, kLimitSeconds);
    return MediaTime{qint64(std::llround(bounded * double(scale)))};
}

qint64 MediaTime::milliseconds() const
{
    // Round half away from zero in integers: value * 1000 / 600.
    const qint64 scaled = value * 1000;
    const qint64 half = scale / 2;
    return scaled >= 0 ? (scaled + half) / scale : -((-scaled + half) / scale);
}
