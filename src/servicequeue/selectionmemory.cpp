#include "selectionmemory.h"

bool SelectionKey::operator==(const SelectionKey &other) const
{
    return scope == other.scope && companyID == other.companyID && operatorID == other.operatorID
        && requestID == other.requestID && sameServiceUrl(inbox, other.inbox);
}

size_t qHash(const SelectionKey &key, size_t seed)
{
    return qHashMulti(seed, key.scope, key.companyID, key.operatorID, key.requestID,
                      key.inbox ? key.inbox->toString(QUrl::FullyEncoded) : QString());
}
