#pragma once

#include <QDebug>
#include <QLibrary>
#include <QString>

namespace ModuleLoading {

// The interface a module's entry point `entry` hands out, or nullptr when the
// file is missing, is no library, lacks the entry or is of another version
// (said once on the log with `what`). Every symbol is resolved now, so a
// module that does not fit this program fails here rather than at its first
// call. Never unloaded: what a module makes may live until the end.
template<typename Interface>
const Interface *load(const QString &path, const char *entry, const char *what)
{
    QLibrary library(path);
    library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
    const Interface *module = nullptr;
    if (!path.isEmpty() && library.load()) {
        using Entry = const Interface *();
        if (auto function = reinterpret_cast<Entry *>(library.resolve(entry)))
            module = function();
        if (!module || module->version != Interface::currentVersion) {
            module = nullptr;
            library.unload();
        }
    }
    if (!module)
        qWarning().noquote() << what << path << "not loaded:" << library.errorString();
    return module;
}

} // namespace ModuleLoading
