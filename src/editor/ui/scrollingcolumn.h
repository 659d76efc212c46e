#pragma once

class QVBoxLayout;
class QWidget;

// Fills `owner` with a frameless vertical scroll area holding one column of
// at most `maximumWidth`, padded 30 on every side and aligned to the top
// leading corner; returns the column's layout.
QVBoxLayout *addScrollingColumn(QWidget *owner, int maximumWidth, int spacing);
