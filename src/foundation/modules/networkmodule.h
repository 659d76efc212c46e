#pragma once

// The code that talks to the network or the secret store (the HTTPS sign-in
// client, the session vault, the signed update machinery) lives in a module of
// its own inside the bundle: Contents/PlugIns/libtavlonnetwork.so. Qt Network,
// its TLS and Kerberos stack, QtKeychain and libsodium are many shared
// libraries the window's first paint does not need; the module is loaded the
// first time one of these is asked for, and stays loaded.
//
// Programs that carry this code themselves (the tests and benches, through
// tavlon_link_network()) register it at start and load nothing.

#include <QString>

class EditorAuthAPI;
class EditorPasswordAPI;
class EditorSessionVault;
class SorvaneUpdateConfiguration;
class UpdateFramework;
class UpdateFrameworkDelegate;
struct EditorAuthConfiguration;

// What the module hands over through its one C entry point, "tavlon_network_module".
// Every function returns an object the caller owns.
struct NetworkModuleInterface
{
    static constexpr int currentVersion = 1;
    int version = currentVersion;
    EditorAuthAPI *(*authAPI)(const EditorAuthConfiguration &configuration) = nullptr;
    EditorPasswordAPI *(*passwordAPI)(const EditorAuthConfiguration &configuration) = nullptr;
    EditorSessionVault *(*sessionVault)(const QString &service) = nullptr;
    UpdateFramework *(*updateFramework)(const SorvaneUpdateConfiguration &configuration,
                                        UpdateFrameworkDelegate *delegate) = nullptr;
};
extern "C" using NetworkModuleEntry = const NetworkModuleInterface *();

namespace NetworkModule {

// The registered code, else the bundle's module (loaded on the first call);
// nullptr when neither is there.
const NetworkModuleInterface *get();
// Why the module could not be loaded (one sentence), or empty.
QString failure();
// The module inside the running bundle; empty outside one.
QString standardPath();

// Called at start by code linked into the program (see the header comment).
void registerSession(EditorAuthAPI *(*authAPI)(const EditorAuthConfiguration &),
                     EditorPasswordAPI *(*passwordAPI)(const EditorAuthConfiguration &),
                     EditorSessionVault *(*sessionVault)(const QString &));
void registerUpdates(UpdateFramework *(*updateFramework)(const SorvaneUpdateConfiguration &,
                                                         UpdateFrameworkDelegate *));

// Tests: ignore the registered code and load from `path` next time; an empty
// path goes back to the registered code.
void useForTesting(const QString &path);

} // namespace NetworkModule
