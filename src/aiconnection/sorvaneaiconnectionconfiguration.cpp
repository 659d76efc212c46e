#include "sorvaneaiconnectionconfiguration.h"

#include "foundation/decoding/strictjson.h"
#include "foundation/localization.h"

bool SorvaneAIConnectionConfiguration::Check::ready() const
{
    if (state != QLatin1String("ready"))
        return false;
    // Nothing to compare unless the tool reports both.
    if (!serverName || !protocolVersion)
        return true;
    return *serverName == QLatin1String(expectedServerName) && *protocolVersion == QLatin1String(expectedProtocolVersion);
}

QString SorvaneAIConnectionConfiguration::Check::message() const
{
    if (state == QLatin1String("ready"))
        return ready() ? loc("Lokal MCP svarer · %lld værktøjer", {toolCount})
                       : loc("MCP protocol does not match this app. Update Sorvane and restart the AI connection.");
    if (state == QLatin1String("missingInbox"))
        return loc("Projektmappen mangler. Tilslut disken og prøv igen.");
    if (state == QLatin1String("storageChanged"))
        return loc("Projektmappen er ændret. Tilslut den valgte disk, eller vælg mappen igen og opdatér "
                   "AI-forbindelsen.");
    if (state == QLatin1String("timeout"))
        return loc("Forbindelsestesten tog for lang tid. Prøv igen.");
    return loc("MCP kunne ikke startes. Kontrollér appens værktøjer og Python på denne computer.");
}

std::optional<QString> SorvaneAIConnectionConfiguration::Check::versionLine() const
{
    if (serverName && serverVersion && protocolVersion)
        return loc("Server %@ %@ · protocol %@", {*serverName, *serverVersion, *protocolVersion});
    if (state == QLatin1String("ready"))
        return loc("Server version unavailable. Check again after updating Sorvane.");
    return std::nullopt;
}

std::optional<QString> SorvaneAIConnectionConfiguration::Check::separateVersionsNote() const
{
    if (state != QLatin1String("ready"))
        return std::nullopt;
    return loc("Server version and Sorvane app version are separate. This check does not verify a Final Cut "
               "connection.");
}

SorvaneAIConnectionConfiguration SorvaneAIConnectionConfiguration::decode(const QByteArray &json)
{
    const JsonObjectReader root = JsonObjectReader::parse(json);
    SorvaneAIConnectionConfiguration result;
    result.name = root.string("name");
    result.command = root.string("command");
    result.inbox = root.string("inbox");
    result.toml = root.string("toml");
    result.arguments = root.stringArray("arguments");
    result.check = root.object("check", [](const JsonObjectReader &check) {
        Check decoded;
        decoded.state = check.string("state");
        decoded.toolCount = check.integer("toolCount");
        decoded.serverName = check.optionalString("serverName");
        decoded.serverVersion = check.optionalString("serverVersion");
        decoded.protocolVersion = check.optionalString("protocolVersion");
        return decoded;
    });
    return result;
}
