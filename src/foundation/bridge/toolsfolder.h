#pragma once

#include "authconfiguration.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

// Where the tools folder is, what the authentication API's address and key
// are, and whether this is a refused local test launch.
namespace Bridge {

// "tooling" in the bundle's resources when it holds the tools, else
// defaultRepository(). Looked up afresh on every call.
QString applicationTools();
// The same rule for a given resources folder (empty: no bundle).
QString applicationTools(const QString &resourcesPath);

// The checkout's own tools folder, for development runs.
QString defaultRepository();

// Relative to the tools folder.
inline constexpr const char *markerFile = "tools/postproduction/editor_bridge.py";
inline constexpr const char *configurationSource = "ios/TavlonFilm/Cloud/CloudConfiguration.swift";

// Reads the address and key from the configuration source of
// applicationTools(). Throws BridgeError. Never cached.
EditorAuthConfiguration authConfiguration();
// The same for a given tools folder (no local-test check).
EditorAuthConfiguration authConfiguration(const QString &toolsFolder);
// Matches the two assignments in the text and checks the address.
EditorAuthConfiguration parseAuthConfiguration(const QString &text);

// True when a packaged configuration value is present (any value), or an
// argument begins with "--local-service-test-config".
bool requestsLocalTest(const QStringList &arguments, const std::optional<QVariant> &packagedConfiguration);
// requestsLocalTest() for this process's arguments and information file.
bool unsupportedTestLaunch();

// Where a profile photo is written before a tool takes it. Throws under a
// refused local test launch.
QString profileTemporaryDirectory();

} // namespace Bridge
