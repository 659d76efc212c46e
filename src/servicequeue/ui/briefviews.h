#pragma once

#include "foundation/records/packagerecords.h"

#include <QDialog>
#include <QWidget>
#include <optional>

class QClipboard;

// The customer's current brief when there is something to notice: an
// amendment that changed the instructions, or a brief that must be
// refreshed. Otherwise the view stays hidden and takes no space.
class CurrentServiceBriefView final : public QWidget
{
    Q_OBJECT
public:
    explicit CurrentServiceBriefView(const CurrentServiceBrief &brief, QWidget *parent = nullptr);

    // The box title, or none when there is nothing to show.
    static std::optional<QString> title(const CurrentServiceBrief &brief);
};

// Everything an editor needs to start on one package: the current brief,
// the customer's task, the size of the source, the material allowed on the
// timeline and the master prompt with its copy button.
class PackageBriefContent final : public QWidget
{
    Q_OBJECT
public:
    explicit PackageBriefContent(const PackageContext &context, QWidget *parent = nullptr);

    // Leaves exactly the master prompt on `clipboard`, as plain text.
    static void copyMasterPrompt(const PackageContext &context, QClipboard *clipboard);
};

// The package brief as a window-modal sheet with a header and "Luk"
// (Escape closes it too).
class PackageBriefSheet final : public QDialog
{
    Q_OBJECT
public:
    explicit PackageBriefSheet(const PackageContext &context, QWidget *parent = nullptr);

    const QString &packageID() const { return m_packageID; }

private:
    QString m_packageID;
};
