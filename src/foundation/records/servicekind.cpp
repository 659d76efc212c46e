#include "servicekind.h"

#include "foundation/decoding/strictjson.h"
#include "foundation/localization.h"

#include <utility>

namespace {

const std::pair<const char *, ServiceKind> kRawValues[] = {
    {"filmEditing", ServiceKind::filmEditing},
    {"conceptDevelopment", ServiceKind::conceptDevelopment},
    {"scriptDevelopment", ServiceKind::scriptDevelopment},
};

} // namespace

std::optional<ServiceKind> serviceKindFromRaw(const QString &raw)
{
    return enumFromRaw(kRawValues, raw);
}

QString rawValue(ServiceKind kind)
{
    return rawFromEnum(kRawValues, kind);
}

QString title(ServiceKind kind)
{
    switch (kind) {
    case ServiceKind::filmEditing: return loc("Klipning");
    case ServiceKind::conceptDevelopment: return loc("Konceptudvikling");
    case ServiceKind::scriptDevelopment: return loc("Manus og shotliste");
    }
    return {};
}
