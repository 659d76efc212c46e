#pragma once

#include <QPushButton>

// A full-width plain button with a symbol and a title, drawn on a tinted
// rounded background while it is the selected one. Its accessible state
// reads as checked while selected.
class SorvaneSidebarRow final : public QPushButton
{
    Q_OBJECT
public:
    SorvaneSidebarRow(const QString &title, const QString &symbol, QWidget *parent = nullptr);
    bool selected() const { return isChecked(); }
    void setSelected(bool selected);

protected:
    void paintEvent(QPaintEvent *event) override;
    void nextCheckState() override {}
};
