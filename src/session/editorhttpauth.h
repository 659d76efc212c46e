#pragma once

#include "editorauthapi.h"
#include "foundation/bridge/authconfiguration.h"

#include <QJsonObject>
#include <QUrl>
#include <memory>

class QNetworkAccessManager;

// The client of the cloud authentication API ("auth/v1" below the configured
// address). Keeps no cache and no cookies, refuses redirects, caps answers at
// 32768 bytes and reads only the status of a refused request, never its body.
// A decoding failure leaves as DecodingError; callers choose the sentence.
//
// The local stand-in service is trusted through one setting only: the PEM file
// named by TAVLON_LOCAL_SERVICE_CA is added to the trusted authorities for
// loopback hosts (127.0.0.1, ::1, localhost); certificate checks stay on.
class EditorHTTPAuth final : public EditorAuthAPI, public EditorPasswordAPI
{
public:
    static constexpr qsizetype maximumAnswerSize = 32768;
    static constexpr int idleTimeoutMs = 30000;
    static constexpr int totalTimeoutMs = 45000;
    static constexpr const char *localCAVariable = "TAVLON_LOCAL_SERVICE_CA";

    explicit EditorHTTPAuth(EditorAuthConfiguration configuration);
    ~EditorHTTPAuth() override;

    QCoro::Task<EditorAuthTokens> login(QString email, QString password, CancellationToken cancel = {}) override;
    QCoro::Task<EditorAuthTokens> refresh(QString token, CancellationToken cancel = {}) override;
    QCoro::Task<EditorAuthUser> user(QString token, CancellationToken cancel = {}) override;
    QCoro::Task<void> logout(QString token, CancellationToken cancel = {}) override;

    QCoro::Task<void> requestPasswordCode(QString email, CancellationToken cancel = {}) override;
    QCoro::Task<EditorAuthTokens> verifyPasswordCode(QString email, QString code, CancellationToken cancel = {}) override;
    QCoro::Task<EditorAuthUser> setPassword(QString password, QString token, CancellationToken cancel = {}) override;

    // `base` extended by "auth/v1" and the part of `path` before "?"; the part
    // after it becomes the query unchanged. A trailing "/" on `base` makes no difference.
    static QUrl address(const QUrl &base, const QString &path);

private:
    QCoro::Task<QByteArray> request(QString path, std::optional<QJsonObject> body, std::optional<QString> token,
                                    QByteArray method, CancellationToken cancel);

    EditorAuthConfiguration m_configuration;
    std::unique_ptr<QNetworkAccessManager> m_network;
};
