#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class JsonObjectReader;

// The timeline format the tools chose for a prepared hand-off. Decoding
// checks types only; whether a format is shown is isPlausible()'s call.
struct SorvaneTimelineFormat
{
    qint64 width = 0;
    qint64 height = 0;
    qint64 frameRateNumerator = 0;
    qint64 frameRateDenominator = 0;
    QString origin; // "selectedSource", "explicit", or kept as it came
    std::optional<QString> sourceID;
    std::optional<QString> briefAspectRatio;
    bool requiresFormatReview = false;
    bool mixedSourceFormats = false;

    static SorvaneTimelineFormat fromJson(const JsonObjectReader &json);
    static SorvaneTimelineFormat decode(const QByteArray &bytes);

    // Frame size 16–8192 each way, positive rate terms, a known origin and
    // 1–120 frames per second; anything else is not shown at all.
    bool isPlausible() const;
};

// What the tools found out about speech in one candidate source. The state
// stays raw text so an unknown state never fails decoding.
struct SourceSpeechEvidence
{
    QString state;
    bool transcriptPresent = false;
    bool wordTimingsAvailable = false;

    static SourceSpeechEvidence fromJson(const JsonObjectReader &json);
    static SourceSpeechEvidence decode(const QByteArray &bytes);

    // One-line summary in the interface language.
    QString title() const;
};
