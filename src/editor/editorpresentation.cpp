#include "editorpresentation.h"

#include "editormodel.h"
#include "foundation/localization.h"
#include "foundation/units/datetimetext.h"

#include <QDir>

namespace EditorPresentation {

ServiceKind packageKind(const PackageSummary &package)
{
    return package.serviceRequest ? package.serviceRequest->kind : ServiceKind::filmEditing;
}

bool isWriting(ServiceKind kind)
{
    return kind == ServiceKind::conceptDevelopment || kind == ServiceKind::scriptDevelopment;
}

QString kindTitle(ServiceKind kind)
{
    return ::title(kind);
}

QString kindSymbol(ServiceKind kind)
{
    switch (kind) {
    case ServiceKind::conceptDevelopment:
        return QStringLiteral("lightbulb");
    case ServiceKind::scriptDevelopment:
        return QStringLiteral("text.book.closed");
    case ServiceKind::filmEditing:
        break;
    }
    return QStringLiteral("scissors");
}

bool sectionsEnabled(const EditorModel &model) { return !model.busy(); }
bool canRefresh(const EditorModel &model) { return !model.inbox().isEmpty(); }
bool canListCloud(const EditorModel &model) { return !model.credentials().isEmpty(); }
bool canDownload(const EditorModel &model) { return model.selectedCloudID() && !model.inbox().isEmpty(); }

QString packageCounts(const PackageSummary &package)
{
    return loc("%lld klip · %lld kontekst", {qint64(package.counts.usable), qint64(package.counts.context)});
}

QString emptyTitle(const EditorModel &model)
{
    return model.inventory().isEmpty() ? loc("Klar til morvinge") : loc("Vælg en film i indbakken");
}

QString emptyDescription(const EditorModel &model)
{
    return model.inventory().isEmpty()
        ? loc("Vælg en klippeindbakke. Hent en færdig cloudkopi, eller læg eksporterede projektmapper i indbakken.")
        : loc("Åbn filmen til venstre for at læse instruktioner og forberede klippepakken.");
}

std::optional<QString> invalidFoldersLine(const EditorModel &model)
{
    if (model.invalidPackages().isEmpty())
        return std::nullopt;
    return loc("%lld mapper kunne ikke valideres og er udeladt.", {qint64(model.invalidPackages().size())});
}

QString cloudCompanyLine(const CloudListing &listing)
{
    return loc("Firma: %@", {listing.companyID});
}

QString backupTitle(const CloudBackup &backup)
{
    return loc("Film %@ · version %lld", {backup.local_project_id.left(8), qint64(backup.revision)});
}

QString backupCompleted(const CloudBackup &backup)
{
    return shortDateTimeText(backup.completed_at);
}

static ServiceKind contextKind(const PackageContext &context)
{
    return packageKind(context.summary);
}

QString prepareTitle(const PackageContext &context)
{
    const ServiceKind kind = contextKind(context);
    if (isWriting(kind))
        return loc("Forbered %@", {kindTitle(kind).toLower()});
    return loc("Forbered klippehandoff");
}

bool canPrepare(const EditorModel &model, const PackageContext &context)
{
    if (model.busy())
        return false;
    // Writing work needs no clips; an edit without candidates has nothing to cut.
    return isWriting(contextKind(context)) || !context.candidates.isEmpty();
}

QString prepareDescription(const PackageContext &context)
{
    switch (contextKind(context)) {
    case ServiceKind::conceptDevelopment:
        return loc("Afklar emne og formål; udvikl målgruppe, format og vinkel. Kunden vælger og godkender retningen, "
                   "før I går videre til manuskript og shotliste. Optagelser er ikke et krav.");
    case ServiceKind::scriptDevelopment:
        return loc("Samler kundens godkendte retning og kilder. Udarbejd manuskript og shotliste til kundens "
                   "gennemgang; en ændret retning kræver ny godkendelse.");
    case ServiceKind::filmEditing:
        break;
    }
    return loc("Opretter en ny mappe med uændrede mediekopier og en afgrænset klippeplan. For videoklip laves en "
               "enkel FCPXML-tidslinje. Billeder og ren lyd kræver manuel tidslinje. Ingen editor startes "
               "automatisk.");
}

ServiceKind handoffKind(const PreparedHandoff &handoff)
{
    return handoff.kind.value_or(ServiceKind::filmEditing);
}

QString handoffTitle(const PreparedHandoff &handoff)
{
    const ServiceKind kind = handoffKind(handoff);
    if (isWriting(kind))
        return loc("%@ er klar lokalt", {kindTitle(kind)});
    return loc("Klippepakken er klar til manuel kontrol");
}

QString handoffSummary(const PreparedHandoff &handoff)
{
    if (isWriting(handoffKind(handoff)))
        return loc("Brief, masterprompt og kildegrundlag · %lld kontrollerede filreferencer",
                   {qint64(handoff.sourceFileCount.value_or(0))});
    const QString plan = handoff.fcpxml ? loc("FCPXML + klippeplan") : loc("klippeplan");
    return loc("%lld klip · %@", {qint64(handoff.clipCount), plan});
}

bool handoffHasStartGuide(const PreparedHandoff &handoff)
{
    return isWriting(handoffKind(handoff));
}

QString startGuidePath(const PreparedHandoff &handoff)
{
    // The folder path is used as the tool wrote it; nothing is checked.
    return handoff.folder + QStringLiteral("/writer-start.md");
}

QString chooseFolderTitle(const EditorModel &model)
{
    return model.storagePath() ? loc("Skift mappe…") : loc("Vælg mappe…");
}

QString folderPathText(const EditorModel &model)
{
    return model.storagePath().value_or(loc("Vælg en kundemappe, gerne på en ekstern disk."));
}

QString folderPathToolTip(const EditorModel &model)
{
    return model.storagePath().value_or(QString());
}

QString folderScopeNote(const EditorModel &model)
{
    return model.company().isEmpty() ? loc("Lokal indbakke") : loc("Huskes for denne kunde");
}

} // namespace EditorPresentation
