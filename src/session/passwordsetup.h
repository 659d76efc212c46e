#pragma once

#include "editorauthapi.h"

#include <QString>
#include <memory>

// Turns an e-mailed code into a new password. Never signs anybody in: the
// recovery tokens serve these requests only and are dropped on return; they
// never reach the session store, the secret store or the tools.
namespace EditorPasswordSetup {

inline constexpr int minimumPasswordLength = 12;
inline constexpr int minimumCodeLength = 6;
inline constexpr int maximumCodeLength = 10;

// Characters as a reader sees them (extended grapheme clusters).
int characterCount(const QString &text);

// 6 to 10 characters, each one of the ASCII digits "0" to "9".
bool isWellFormedCode(const QString &code);

// Full Unicode lower-casing (the same in every locale) of canonically
// equivalent texts compares equal.
bool sameAddress(const QString &a, const QString &b);

// Checks the form, verifies the code, checks that the recovery session
// belongs to `email`, sets the password, checks the answering account and
// ends the recovery session. `email` is used as given (not trimmed).
// Throws BridgeError, OperationCancelled or the API's decoding error.
QCoro::Task<void> complete(QString email, QString code, QString password, std::shared_ptr<EditorPasswordAPI> api);

} // namespace EditorPasswordSetup
