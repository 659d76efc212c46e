#pragma once

#include <QString>
#include <exception>
#include <optional>

// The one sentence a person reads for a failure, or nothing for a
// cancellation (never shown). A tool's or the system's own BridgeError keeps
// its words; an answer that could not be decoded, or any other exception,
// gets a translated sentence instead of a technical text.
std::optional<QString> failureText(const std::exception_ptr &failure);
