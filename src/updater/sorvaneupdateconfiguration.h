#pragma once

#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <optional>

// Whether an application bundle is fit to receive updates: the right bundle,
// the built-in feed, a well-formed signing key and signed, verified updates.
// A pure check over the bundle's location and its information dictionary; it
// touches no file and no network, and says nothing about why it failed.
class SorvaneUpdateConfiguration
{
public:
    static constexpr const char *expectedBundleIdentifier = "film.tavlon.editor.local";
    static constexpr const char *feedText = "https://example.com/downloads/sorvane/appcast.xml";

    // The built-in feed address, parsed once on first use.
    static const QUrl &feed();

    // A configuration when every rule holds, else nothing. `info` holds typed
    // values (a Boolean as bool, never as the text "YES"). A fixture never
    // yields a configuration.
    static std::optional<SorvaneUpdateConfiguration> check(const QString &bundlePath, const QVariantMap &info,
                                                           bool isFixture);

    // The check over the running application's bundle and information file.
    static std::optional<SorvaneUpdateConfiguration> forRunningBundle();

    const QUrl &feedURL() const { return m_feedURL; }
    // The key text exactly as found in the information dictionary.
    const QString &publicKey() const { return m_publicKey; }

    bool operator==(const SorvaneUpdateConfiguration &other) const = default;

    // The bundle's path extension, case preserved ("" when the last path
    // component has none); a trailing slash is ignored.
    static QString pathExtension(const QString &path);
    // True when `text` is the canonical standard base64 of exactly 32 bytes.
    static bool isCanonicalSigningKey(const QString &text);

private:
    SorvaneUpdateConfiguration(QUrl feedURL, QString publicKey)
        : m_feedURL(std::move(feedURL)), m_publicKey(std::move(publicKey)) {}

    QUrl m_feedURL;
    QString m_publicKey;
};
