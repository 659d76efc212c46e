#pragma once

#include "foundation/cancellation.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>
#include <qcoro/qcorotask.h>

// The local MCP server definition the tools hand out for a project folder, with the result of the
// check the tool has just made of that server.
struct SorvaneAIConnectionConfiguration
{
    struct Check
    {
        QString state;
        qint64 toolCount = 0;
        std::optional<QString> serverName;
        std::optional<QString> serverVersion;
        std::optional<QString> protocolVersion;

        // The server started and answered as the server this application expects (when the tool
        // reports both its name and protocol).
        bool ready() const;
        // The status sentence, in the interface language.
        QString message() const;
        // "Server … · protocol …", a fallback sentence for a ready state, or nothing.
        std::optional<QString> versionLine() const;
        // The note that the server's and the application's versions are separate (ready state only).
        std::optional<QString> separateVersionsNote() const;
    };

    QString name;
    QString command;
    QString inbox;
    QString toml;
    QStringList arguments;
    Check check;

    static constexpr const char *expectedServerName = "tavlon-film-editor";
    static constexpr const char *expectedProtocolVersion = "2025-06-18";

    // Throws DecodingError for a missing or null required key or a wrong JSON type.
    static SorvaneAIConnectionConfiguration decode(const QByteArray &json);

    // Runs the tools' connection command for `storageFolder` with `toolsFolder` and decodes its answer; the
    // run's and the decoding's errors pass through.
    static QCoro::Task<SorvaneAIConnectionConfiguration> fetch(QUrl storageFolder, QString toolsFolder,
                                                               CancellationToken cancel = {});
};
