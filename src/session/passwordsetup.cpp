#include "passwordsetup.h"

#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/logging.h"

#include <QTextBoundaryFinder>

namespace EditorPasswordSetup {

int characterCount(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

bool isWellFormedCode(const QString &code)
{
    // Each ASCII digit is one code unit, so the length in code units is the
    // length in characters once every unit is known to be a digit.
    if (code.size() < minimumCodeLength || code.size() > maximumCodeLength)
        return false;
    for (const QChar c : code)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

bool sameAddress(const QString &a, const QString &b)
{
    const auto folded = [](const QString &text) {
        return text.normalized(QString::NormalizationForm_D).toLower().normalized(QString::NormalizationForm_C);
    };
    return folded(a) == folded(b);
}

QCoro::Task<void> complete(QString email, QString code, QString password, std::shared_ptr<EditorPasswordAPI> api)
{
    if (characterCount(password) < minimumPasswordLength || !isWellFormedCode(code))
        throw BridgeError::failed(loc("Brug koden fra mailen og mindst 12 tegn i adgangskoden."));

    const EditorAuthTokens recovery = co_await api->verifyPasswordCode(email, code);
    const QString token = recovery.access_token;
    if (token.isEmpty())
        throw BridgeError::failed(loc("Koden kunne ikke bekræftes. Bed om en ny kode."));

    std::exception_ptr failure;
    try {
        const EditorAuthUser owner = recovery.user;
        if (owner.isAnonymous() || !owner.email || !sameAddress(*owner.email, email))
            throw BridgeError::failed(loc("Koden tilhører en anden konto."));
        const EditorAuthUser answered = co_await api->setPassword(password, token);
        if (answered.id != owner.id || !answered.email || !sameAddress(*answered.email, email))
            throw BridgeError::failed(loc("Kontoen kunne ikke bekræftes."));
    } catch (...) {
        failure = std::current_exception();
    }

    if (failure) {
        // Best effort: the recovery session should not outlive a failed setup,
        // but its end must not hide why the setup failed.
        try {
            co_await api->logout(token);
        } catch (...) {
            logFailure(lcSession, "ending the recovery session");
        }
        std::rethrow_exception(failure);
    }
    co_await api->logout(token);
}

} // namespace EditorPasswordSetup
