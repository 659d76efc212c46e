#include "sourcefacts.h"

#include "foundation/decoding/strictjson.h"
#include "foundation/localization.h"

SorvaneTimelineFormat SorvaneTimelineFormat::fromJson(const JsonObjectReader &json)
{
    SorvaneTimelineFormat format;
    format.width = json.integer("width");
    format.height = json.integer("height");
    format.frameRateNumerator = json.integer("frameRateNumerator");
    format.frameRateDenominator = json.integer("frameRateDenominator");
    format.origin = json.string("origin");
    format.sourceID = json.optionalString("sourceID");
    format.briefAspectRatio = json.optionalString("briefAspectRatio");
    format.requiresFormatReview = json.boolean("requiresFormatReview");
    format.mixedSourceFormats = json.boolean("mixedSourceFormats");
    return format;
}

SorvaneTimelineFormat SorvaneTimelineFormat::decode(const QByteArray &bytes)
{
    return fromJson(JsonObjectReader::parse(bytes));
}

bool SorvaneTimelineFormat::isPlausible() const
{
    if (width < 16 || width > 8192 || height < 16 || height > 8192)
        return false;
    // Checked before dividing, so a zero or negative term never divides.
    if (frameRateDenominator < 1 || frameRateNumerator < 1)
        return false;
    if (origin != QLatin1String("selectedSource") && origin != QLatin1String("explicit"))
        return false;
    const double rate = double(frameRateNumerator) / double(frameRateDenominator);
    return rate >= 1.0 && rate <= 120.0;
}

SourceSpeechEvidence SourceSpeechEvidence::fromJson(const JsonObjectReader &json)
{
    SourceSpeechEvidence evidence;
    evidence.state = json.string("state");
    evidence.transcriptPresent = json.boolean("transcriptPresent");
    evidence.wordTimingsAvailable = json.boolean("wordTimingsAvailable");
    return evidence;
}

SourceSpeechEvidence SourceSpeechEvidence::decode(const QByteArray &bytes)
{
    return fromJson(JsonObjectReader::parse(bytes));
}

QString SourceSpeechEvidence::title() const
{
    const bool neither = !transcriptPresent && !wordTimingsAvailable;
    if (state == QLatin1String("reviewedTranscript") && transcriptPresent)
        return loc("Reviewed transcript · check against the audio");
    if (state == QLatin1String("unreviewedTranscript") && transcriptPresent)
        return loc("Transcript awaiting review");
    if (state == QLatin1String("noSpeech") && neither)
        return loc("No speech recognized · listen to verify");
    if (state == QLatin1String("noAudio") && neither)
        return loc("No audio track reported");
    if (state == QLatin1String("technicalFailure"))
        return loc("Transcription failed · speech is not verified");
    return loc("Speech is not verified");
}
