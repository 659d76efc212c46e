#include "sorvaneavatarview.h"

#include "foundation/ui/uikit.h"
#include "profiles/sorvaneprofilephoto.h"

#include "foundation/localization.h"

#include <QPainter>
#include <QPainterPath>

SorvaneAvatarView::SorvaneAvatarView(std::optional<SorvanePersonProfile> profile, QString fallbackName, int size,
                                     QWidget *parent)
    : QWidget(parent), m_size(size)
{
    setFixedSize(size, size);
    setPerson(std::move(profile), std::move(fallbackName));
}

void SorvaneAvatarView::setPerson(std::optional<SorvanePersonProfile> profile, QString fallbackName)
{
    m_profile = std::move(profile);
    m_fallbackName = std::move(fallbackName);
    update();
}

QString SorvaneAvatarView::name() const
{
    if (m_profile && m_profile->displayName)
        return *m_profile->displayName;
    return m_fallbackName;
}

QString SorvaneAvatarView::initials() const
{
    return SorvanePersonProfile::initials(name());
}

void SorvaneAvatarView::update()
{
    m_photo = SorvaneProfilePhoto::image(m_profile ? m_profile->avatarJPEGBase64 : std::nullopt);
    // The name is an argument, never part of the sentence.
    setAccessibleName(m_photo ? loc("Profile photo for %@", {name()}) : loc("Initials for %@", {name()}));
    QWidget::update();
}

void SorvaneAvatarView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(&painter, m_size, m_photo ? &*m_photo : nullptr, initials(), font(), palette());
}

void SorvaneAvatarView::paint(QPainter *painter, int size, const QImage *photo, const QString &initials, QFont font,
                              const QPalette &palette)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF frame(0, 0, size, size);
    QPainterPath circle;
    circle.addEllipse(frame);
    painter->setClipPath(circle);
    if (photo) {
        // Scaled to fill the square, cropped by the circle.
        const QSize filled = photo->size().scaled(size, size, Qt::KeepAspectRatioByExpanding);
        const QRectF target((size - filled.width()) / 2.0, (size - filled.height()) / 2.0, filled.width(),
                            filled.height());
        painter->drawImage(target, *photo);
    } else {
        painter->fillRect(frame, UiKit::colour(UiKit::Ink::avatarFill));
        // A point here is a pixel of the avatar's own size.
        font.setPixelSize(qMax(1, qRound(size * 0.35)));
        font.setWeight(QFont::DemiBold);
        painter->setFont(font);
        painter->setPen(UiKit::colour(UiKit::Ink::avatarInk));
        painter->drawText(frame, Qt::AlignCenter, initials);
    }
    painter->setClipping(false);
    QColor border = palette.color(QPalette::WindowText);
    border.setAlphaF(0.12f);
    painter->setPen(QPen(border, 1));
    painter->setBrush(Qt::NoBrush);
    painter->drawEllipse(frame.adjusted(0.5, 0.5, -0.5, -0.5));
    painter->restore();
}
