// The network module's one entry point (see foundation/modules/networkmodule.h).
// What it uses of the rest of the program comes from the program, which
// exports those symbols (tavlon_export_network_symbols()).
#include "foundation/modules/networkmodule.h"
#include "session/editorhttpauth.h"
#include "session/editorkeychainvault.h"
#include "updater/signedupdateframework.h"

namespace {

const NetworkModuleInterface module = [] {
    NetworkModuleInterface table;
    table.authAPI = [](const EditorAuthConfiguration &configuration) -> EditorAuthAPI * {
        return new EditorHTTPAuth(configuration);
    };
    table.passwordAPI = [](const EditorAuthConfiguration &configuration) -> EditorPasswordAPI * {
        return new EditorHTTPAuth(configuration);
    };
    table.sessionVault = [](const QString &service) -> EditorSessionVault * { return new EditorKeychainVault(service); };
    table.updateFramework = [](const SorvaneUpdateConfiguration &configuration,
                               UpdateFrameworkDelegate *delegate) -> UpdateFramework * {
        return SignedUpdateFramework::forRunningBundle(configuration, delegate).release();
    };
    return table;
}();

} // namespace

extern "C" Q_DECL_EXPORT const NetworkModuleInterface *tavlon_network_module()
{
    return &module;
}
