// The vault's sentences, apart from the keychain code: the program shows them
// also when the vault lives in the network module (foundation/modules/networkmodule.h).
#include "editorkeychainvault.h"

#include "foundation/localization.h"

QString EditorKeychainVault::failureMessage()
{
    return loc("Nøgleringen kunne ikke åbnes. Lås nøgleringen op, eller kontrollér Tavlons adgang, og prøv igen.");
}

QString EditorKeychainVault::missingMessage()
{
    return loc("Ingen nøglering kan gemme sessionen på denne computer; start en skrivebordssession med en nøglering "
               "(fx GNOME-nøgleringen eller KWallet), og prøv igen.");
}
