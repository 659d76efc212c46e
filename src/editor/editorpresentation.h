#pragma once

#include "foundation/records/packagerecords.h"
#include "foundation/records/cloudrecords.h"

#include <QString>
#include <optional>

class EditorModel;

// What the package, cloud and project folder panels show and allow, decided
// from the model alone so tests reach every rule without widgets.
namespace EditorPresentation {

// A package without a customer request counts as film editing.
ServiceKind packageKind(const PackageSummary &package);
bool isWriting(ServiceKind kind);
QString kindTitle(ServiceKind kind);
// Symbol name of the kind ("scissors", "lightbulb", "text.book.closed").
QString kindSymbol(ServiceKind kind);

// Both settings sections are usable only while no operation runs.
bool sectionsEnabled(const EditorModel &model);
bool canRefresh(const EditorModel &model);
bool canListCloud(const EditorModel &model);
bool canDownload(const EditorModel &model);

QString packageCounts(const PackageSummary &package);
QString emptyTitle(const EditorModel &model);
QString emptyDescription(const EditorModel &model);
// The invalid-folder count line, or nothing when every folder was valid.
std::optional<QString> invalidFoldersLine(const EditorModel &model);

QString cloudCompanyLine(const CloudListing &listing);
QString backupTitle(const CloudBackup &backup);
// When the backup was completed, as a short local date and time (the tool's
// text as it stands when it is no timestamp).
QString backupCompleted(const CloudBackup &backup);

QString prepareTitle(const PackageContext &context);
bool canPrepare(const EditorModel &model, const PackageContext &context);
QString prepareDescription(const PackageContext &context);

ServiceKind handoffKind(const PreparedHandoff &handoff);
QString handoffTitle(const PreparedHandoff &handoff);
QString handoffSummary(const PreparedHandoff &handoff);
bool handoffHasStartGuide(const PreparedHandoff &handoff);
QString startGuidePath(const PreparedHandoff &handoff);

QString chooseFolderTitle(const EditorModel &model);
QString folderPathText(const EditorModel &model);
QString folderPathToolTip(const EditorModel &model);
QString folderScopeNote(const EditorModel &model);

} // namespace EditorPresentation
