#pragma once

#include <QIcon>
#include <QLabel>

// A label showing an icon's picture at `side` × `side`, as QLabel shows a
// pixmap (same size hints, alignment, disabled look), except that the
// picture is taken from the icon when the label is first painted: an icon
// still being drawn on another thread does not hold up building the window.
class SymbolMark final : public QLabel
{
public:
    SymbolMark(QIcon icon, int side, QWidget *parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QIcon m_icon;
    int m_side;
    QPixmap m_picture; // taken at the first paint
};
