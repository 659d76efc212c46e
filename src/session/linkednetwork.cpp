// Registers the sign-in client and the session vault with the network module
// loader in programs that link them (tests and benches: tavlon_link_network()
// pulls this file in by its marker); the application loads them from its
// bundle instead.
#include "editorhttpauth.h"
#include "editorkeychainvault.h"
#include "foundation/modules/networkmodule.h"

extern "C" void tavlon_linked_session_network() {}

namespace {

const bool registered = [] {
    NetworkModule::registerSession(
        [](const EditorAuthConfiguration &configuration) -> EditorAuthAPI * { return new EditorHTTPAuth(configuration); },
        [](const EditorAuthConfiguration &configuration) -> EditorPasswordAPI * {
            return new EditorHTTPAuth(configuration);
        },
        [](const QString &service) -> EditorSessionVault * { return new EditorKeychainVault(service); });
    return true;
}();

} // namespace
