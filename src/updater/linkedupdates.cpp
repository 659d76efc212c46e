// Registers the signed update machinery with the network module loader in
// programs that link it (see session/linkednetwork.cpp).
#include "foundation/modules/networkmodule.h"
#include "signedupdateframework.h"

extern "C" void tavlon_linked_updates() {}

namespace {

const bool registered = [] {
    NetworkModule::registerUpdates([](const SorvaneUpdateConfiguration &configuration,
                                      UpdateFrameworkDelegate *delegate) -> UpdateFramework * {
        return SignedUpdateFramework::forRunningBundle(configuration, delegate).release();
    });
    return true;
}();

} // namespace
