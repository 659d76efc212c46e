#pragma once

#include <QByteArray>
#include <QImage>
#include <optional>

// A profile photo travels as a small square JPEG: 1 to 65,536 bytes holding
// one JPEG image of 1 to 512 pixels on each side.
namespace SorvaneProfilePhoto {

inline constexpr qsizetype photoLimit = 65536;
inline constexpr int sideLimit = 512;
inline constexpr int side = 256;
inline constexpr qsizetype sourceLimit = 20971520; // 20 MiB

// Whether the bytes are a profile photo; never fails otherwise.
bool isValidJPEG(const QByteArray &data);

// Any picture file made into a profile photo: oriented by its EXIF tag,
// reduced to at most 512 pixels, the centred square drawn at 256 × 256 on
// white, compressed until it passes isValidJPEG(). Throws BridgeError with
// the one photo sentence for anything it cannot prepare.
QByteArray normalizedJPEG(const QByteArray &data);

// The picture of a profile's photo text: strict Base64 of bytes the image
// library can read; none otherwise.
std::optional<QImage> image(const std::optional<QString> &base64);

} // namespace SorvaneProfilePhoto
