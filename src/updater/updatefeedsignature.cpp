// The signature check on its own: the program links no libsodium, the
// network module (which checks updates) does.
#include "updatefeed.h"

#include <sodium.h>

namespace UpdateFeed {

bool verify(const uchar *data, qsizetype size, const QByteArray &signature, const QByteArray &publicKey)
{
    if (sodium_init() < 0 || signature.size() != crypto_sign_BYTES || publicKey.size() != crypto_sign_PUBLICKEYBYTES)
        return false;
    return crypto_sign_verify_detached(reinterpret_cast<const uchar *>(signature.constData()), data,
                                       static_cast<unsigned long long>(size),
                                       reinterpret_cast<const uchar *>(publicKey.constData()))
        == 0;
}

} // namespace UpdateFeed
