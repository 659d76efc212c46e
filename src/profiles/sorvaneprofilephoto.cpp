#include "sorvaneprofilephoto.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/errors.h"
#include "foundation/localization.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

namespace {

[[noreturn]] void refuse()
{
    throw BridgeError::failed(loc("Choose a photo that can be opened. The profile photo must be a small JPEG."));
}

// A picture whose reader cannot reduce it while decoding is decoded whole:
// past this many bytes of pixels it is refused before any decoding.
constexpr qint64 allocationLimit = qint64(128) * 1024 * 1024;

} // namespace

bool SorvaneProfilePhoto::isValidJPEG(const QByteArray &data)
{
    if (data.isEmpty() || data.size() > photoLimit)
        return false;
    if (!data.startsWith(QByteArray::fromHex("ffd8ff")))
        return false;
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    if (!reader.canRead() || reader.format() != "jpeg" || reader.imageCount() != 1)
        return false;
    const QSize size = reader.size();
    if (!size.isValid() || size.width() < 1 || size.height() < 1 || size.width() > sideLimit
        || size.height() > sideLimit)
        return false;
    return !reader.read().isNull();
}

QByteArray SorvaneProfilePhoto::normalizedJPEG(const QByteArray &data)
{
    if (data.size() > sourceLimit)
        refuse();
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        refuse();
    // Reduce while decoding; orientation is applied after scaling and keeps
    // the longer side.
    const QSize stored = reader.size();
    if (stored.isValid() && !reader.supportsOption(QImageIOHandler::ScaledSize)
        && qint64(stored.width()) * stored.height() * 4 > allocationLimit)
        refuse();
    if (stored.isValid() && (stored.width() > sideLimit || stored.height() > sideLimit))
        reader.setScaledSize(stored.scaled(sideLimit, sideLimit, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage picture = reader.read();
    if (picture.isNull() || picture.width() < 1 || picture.height() < 1)
        refuse();
    if (picture.width() > sideLimit || picture.height() > sideLimit)
        picture = picture.scaled(sideLimit, sideLimit, Qt::KeepAspectRatio, Qt::SmoothTransformation);

    QImage square(side, side, QImage::Format_RGB32);
    if (square.isNull())
        refuse();
    square.fill(Qt::white);
    {
        QPainter painter(&square);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const double factor = double(side) / double(std::min(picture.width(), picture.height()));
        const double width = picture.width() * factor;
        const double height = picture.height() * factor;
        painter.drawImage(QRectF((side - width) / 2, (side - height) / 2, width, height), picture);
    }

    for (const int quality : {86, 70, 50, 35}) {
        QByteArray encoded;
        QBuffer out(&encoded);
        if (!out.open(QIODevice::WriteOnly))
            refuse();
        QImageWriter writer(&out, "jpeg");
        writer.setQuality(quality);
        if (writer.write(square) && isValidJPEG(encoded))
            return encoded;
    }
    refuse();
}

std::optional<QImage> SorvaneProfilePhoto::image(const std::optional<QString> &base64)
{
    if (!base64)
        return std::nullopt;
    const auto bytes = StrictFormats::parseBase64(*base64);
    if (!bytes)
        return std::nullopt;
    QImage picture = QImage::fromData(*bytes);
    if (picture.isNull())
        return std::nullopt;
    return picture;
}
