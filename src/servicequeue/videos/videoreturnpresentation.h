#pragma once

// What the video return box shows for the model's present state: which
// sections, which texts and what may be pressed. The views only lay it out.

#include "servicequeue/videorecords.h"
#include "videostage.h"

#include <QString>
#include <optional>

class ServiceQueueModel;
class ServiceQueueEditor;

namespace VideoReturnPresentation {

QString title(const ServiceQueueModel &model);
// The "sent for review" receipt line, when the last confirmed delivery says so.
std::optional<QString> receiptText(const ServiceQueueModel &model);
// A closed task (approved or cancelled) hides the form unless drafts exist.
bool showsPreparationForm(const ServiceQueueModel &model);
// A file and three texts that are not blank.
bool prepareEnabled(const ServiceQueueModel &model);
// The chosen file's name, or the hint of what may be chosen.
QString fileText(const ServiceQueueModel &model);

QString stageSymbol(ServiceVideoStage stage);
// The draft was prepared for an older (or newer) task revision than the task has now.
std::optional<QString> baseRevisionNote(const ServiceQueueModel &model, const VideoReviewPreview &draft);
// The project copies listed belong to this draft's version.
bool showsProjectCopies(const ServiceQueueModel &model, const VideoReviewPreview &draft);
QString reopenText(const VideoReviewPreview &draft);

// Texts of the draft preview.
std::optional<QString> lengthLine(const VideoReviewPreview &draft);
QString revisionLine(const VideoReviewPreview &draft);

} // namespace VideoReturnPresentation
