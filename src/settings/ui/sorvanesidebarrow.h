#pragma once

#include <QAbstractButton>

#include <limits>

// A full-width selectable row of a sidebar: symbol, title (at most two lines)
// and, while selected, a check mark on a tinted rounded background with a
// border. The caller decides `selected`; a click emits clicked() and never
// changes the selection by itself. Selected rows report the checked state.
class SorvaneSidebarRow final : public QAbstractButton
{
    Q_OBJECT
public:
    SorvaneSidebarRow(const QString &title, const QString &symbol, bool selected, QWidget *parent = nullptr);

    bool selected() const { return isChecked(); }
    void setSelected(bool selected);
    QString symbol() const { return m_symbol; }
    // The character drawn when the icon theme has no icon for the symbol
    // (for symbols the editor's own set does not know).
    void setGlyph(const QString &glyph);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

    // The title as drawn in `width`: cut after its second line.
    QString shownTitle(int width) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void nextCheckState() override {}

private:
    QRect titleRect(int width) const;
    QString layOutTitle(int width) const;
    bool fitsOnOneLine(int width) const;

    QString m_symbol;
    QString m_glyph;
    // Laying the title out is the row's costliest step, and layouts ask for
    // it several times per width (size hint, height for width, paint).
    struct ShownTitle
    {
        int width = -1;
        QString text;
        QFont font;
        QString shown;
    };
    mutable ShownTitle m_shown;
    // Whether the whole title fits on the first line only grows with the
    // width, so the narrowest width seen to fit and the widest seen not to
    // answer a layout pass's heights without laying the title out again
    // (a start asks each row at five or six widths, most of them twice).
    struct TitleFit
    {
        QString text;
        QFont font;
        int fitsFrom = std::numeric_limits<int>::max();
        int breaksAt = -1;
    };
    mutable TitleFit m_fit;
    TitleFit &currentFit() const;
};
