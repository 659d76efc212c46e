#pragma once

#include "foundation/records/packagerecords.h"

#include <QWidget>

class QLabel;

// The tools' findings about one candidate source: its original source item
// and what is known about speech in it. Read-only.
class SorvaneSourceFacts final : public QWidget
{
    Q_OBJECT
public:
    explicit SorvaneSourceFacts(const Candidate &source, QWidget *parent = nullptr);

    // The speech line's text; none for a still picture.
    static std::optional<QString> speechLine(const Candidate &source);
    // Word timings are only worth a hint on a transcript.
    static bool showsWordTimings(const Candidate &source);
};

// The timeline format the tools chose for a prepared hand-off, its origin and
// its warnings. Stays empty (hidden, no name) for an implausible format.
class SorvaneTimelineFormatView final : public QWidget
{
    Q_OBJECT
public:
    explicit SorvaneTimelineFormatView(const SorvaneTimelineFormat &format, QWidget *parent = nullptr);
};
