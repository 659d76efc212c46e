#pragma once

#include "profiles/sorvaneprofilerecords.h"

#include <QImage>
#include <QWidget>
#include <optional>

// One person as a round avatar: the profile photo when it carries a usable
// one, otherwise the initials of the name on a pale green disc.
class SorvaneAvatarView final : public QWidget
{
    Q_OBJECT
public:
    SorvaneAvatarView(std::optional<SorvanePersonProfile> profile, QString fallbackName, int size,
                      QWidget *parent = nullptr);

    void setPerson(std::optional<SorvanePersonProfile> profile, QString fallbackName);

    // The shown name: the profile's display name, else the fallback name.
    QString name() const;
    bool hasPhoto() const { return m_photo.has_value(); }
    QString initials() const;

    // Draws an avatar of `size` pixels at the painter's origin exactly as the
    // view draws itself, for lists that paint many people without a widget
    // each. `font` and `palette` are those of a view; `photo` may be null.
    static void paint(QPainter *painter, int size, const QImage *photo, const QString &initials, QFont font,
                      const QPalette &palette);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void update();

    std::optional<SorvanePersonProfile> m_profile;
    QString m_fallbackName;
    int m_size;
    std::optional<QImage> m_photo;
};
