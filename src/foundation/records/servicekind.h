#pragma once

#include <QHash>
#include <QString>
#include <optional>

// The kind of a customer's task; stored and decoded as its raw text.
enum class ServiceKind { filmEditing, conceptDevelopment, scriptDevelopment };

// Exactly one of the three raw values (case-sensitive), otherwise nullopt.
std::optional<ServiceKind> serviceKindFromRaw(const QString &raw);
QString rawValue(ServiceKind kind);
// The shown name in the interface language.
QString title(ServiceKind kind);

inline size_t qHash(ServiceKind kind, size_t seed = 0)
{
    return qHash(rawValue(kind), seed);
}
