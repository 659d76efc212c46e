#pragma once

#include "inbox/sorvaneinboxrecords.h"
#include "workspace/sorvaneworkspace.h"

#include <QDateTime>
#include <QFont>
#include <QPalette>
#include <QRect>

class QPainter;

// Draws one inbox task row: customer, title, campaign, status with kind and
// target, the schedule with its countdown and the blocked reason. The list's
// delegate and the table's pinned task share it.
namespace SorvaneInboxRowPainter {

struct Input
{
    const SorvaneInboxRow *row = nullptr;
    std::optional<SorvanePersonProfile> face;
    bool pinned = false;
    bool compact = false;
    QDateTime now;
    QColor background; // what the row is drawn on: its coloured text is made to read on it
};

int height(const Input &input, int width, const QFont &font);
void paint(QPainter *painter, const QRect &rect, const Input &input, const QPalette &palette, const QFont &font);

// The customer of a task: avatar, company name and (when it adds
// something) the person's name. Returns the height used.
int customerHeight(const SorvaneInboxRow &row, const std::optional<SorvanePersonProfile> &face, bool compact,
                   int width, const QFont &font);
void paintCustomer(QPainter *painter, const QRect &rect, const SorvaneInboxRow &row,
                   const std::optional<SorvanePersonProfile> &face, bool compact, const QPalette &palette,
                   const QFont &font, const QColor &background = {});

// The second lines' colour on `background` (none: the palette's base).
QColor secondary(const QPalette &palette, const QColor &background = {});
// `below` with the palette's highlight laid over it at `tint` (a selected or
// pressed row), as it is drawn.
QColor highlighted(const QPalette &palette, const QColor &below, float tint);
// A selected row's background over `below` (an unselected row's): the
// palette's highlight laid over it as strongly as it takes to stand out
// plainly from it and from the rows `around` it (a table's two colours). A
// fixed tint read 1.08:1 on a dark row. Where more of the highlight cannot get
// there (as light as the rows), or its text would no longer read on it, it is
// made lighter or darker in its own hue instead.
QColor selectedBackground(const QPalette &palette, const QColor &below, const QList<QColor> &around = {});
QFont caption(const QFont &font, bool semibold = false);

} // namespace SorvaneInboxRowPainter
