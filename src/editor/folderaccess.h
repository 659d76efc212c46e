#pragma once

#include <QString>

// Holds the right to use an adopted project folder while it is the active
// one. Linux needs no grant, and holding a descriptor would keep the disk
// from being unmounted, so the standard access only checks the folder is
// readable; the seam lets tests count starts and stops.
class FolderAccess
{
public:
    virtual ~FolderAccess() = default;
    // True when access was started (and must be stopped later).
    virtual bool start(const QString &folder) = 0;
    virtual void stop(const QString &folder) = 0;
};

class StandardFolderAccess final : public FolderAccess
{
public:
    bool start(const QString &folder) override;
    void stop(const QString &) override {}
};
