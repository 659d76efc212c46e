#include "networkmodule.h"

#include "foundation/appbundle.h"
#include "foundation/localization.h"
#include "foundation/modules/moduleloading.h"


namespace {

struct ModuleState
{
    NetworkModuleInterface registered; // filled by code linked into the program
    bool hasRegistered = false;
    QString testPath;
    bool tried = false;
    const NetworkModuleInterface *loaded = nullptr;
    QString failure;
};

ModuleState &state()
{
    static ModuleState moduleState;
    return moduleState;
}

const NetworkModuleInterface *load(const QString &path)
{
    return ModuleLoading::load<NetworkModuleInterface>(path, "tavlon_network_module", "network module");
}

} // namespace

namespace NetworkModule {

const NetworkModuleInterface *get()
{
    ModuleState &s = state();
    if (s.hasRegistered && s.testPath.isEmpty())
        return &s.registered;
    if (!s.tried) {
        s.tried = true;
        s.loaded = load(s.testPath.isEmpty() ? standardPath() : s.testPath);
        s.failure = s.loaded ? QString()
                             : loc("Tavlon Film Editor cannot connect because a part of the application could not be loaded.");
    }
    return s.loaded;
}

QString failure()
{
    return state().failure;
}

QString standardPath()
{
    const QString bundle = AppBundle::bundlePath();
    return bundle.isEmpty() ? QString() : bundle + QStringLiteral("/Contents/PlugIns/libtavlonnetwork.so");
}

void registerSession(EditorAuthAPI *(*authAPI)(const EditorAuthConfiguration &),
                     EditorPasswordAPI *(*passwordAPI)(const EditorAuthConfiguration &),
                     EditorSessionVault *(*sessionVault)(const QString &))
{
    ModuleState &s = state();
    s.registered.authAPI = authAPI;
    s.registered.passwordAPI = passwordAPI;
    s.registered.sessionVault = sessionVault;
    s.hasRegistered = true;
}

void registerUpdates(UpdateFramework *(*updateFramework)(const SorvaneUpdateConfiguration &, UpdateFrameworkDelegate *))
{
    ModuleState &s = state();
    s.registered.updateFramework = updateFramework;
    s.hasRegistered = true;
}

void useForTesting(const QString &path)
{
    ModuleState &s = state();
    s.testPath = path;
    s.tried = false;
    s.loaded = nullptr;
    s.failure.clear();
}

} // namespace NetworkModule
