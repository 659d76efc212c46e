#pragma once

#include <QString>
#include <optional>
#include <qcoro/qcorotask.h>

// Whether a secret store exists at all on the session bus: one that runs, or one the bus starts
// on demand. It tells a store that is missing (no session bus, or nothing on it that could keep a
// secret) from one that is there but locked or refusing. It asks the bus through `dbus-send`
// child processes, so a bus that hangs costs a few seconds of waiting, never a blocked window.
// When the bus cannot tell (no answer, no dbus-send) the store counts as present.
namespace SecretStoreProbe {

// `busAddress` replaces the session bus (tests).
QCoro::Task<bool> present(std::optional<QString> busAddress = std::nullopt);

} // namespace SecretStoreProbe
