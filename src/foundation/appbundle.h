#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <optional>

// What the rest of the system asks of the application bundle:
//   <Name>.app/Contents/MacOS/<executable>
//   <Name>.app/Contents/Resources/
//   <Name>.app/Contents/Info.plist
// The build lays this out on every platform.
namespace AppBundle {

// Folder of the running executable.
QString executableDirectory();

// The "<Name>.app" folder when the executable runs from inside one, else empty.
QString bundlePath();

// "<Name>.app/Contents/Resources" inside a bundle; else empty.
QString resourcesPath();

// The information dictionary with typed values (a Boolean stays a bool, an
// integer a qlonglong); empty when there is no bundle or the file is unreadable.
QVariantMap infoDictionary();
std::optional<QVariant> infoValue(const QString &key);

// Strict reader for XML property lists. Values: string -> QString,
// true/false -> bool, integer -> qlonglong, real -> double, data -> QByteArray,
// date -> QDateTime, array -> QVariantList, dict -> QVariantMap.
// Returns nothing for anything malformed or a root that is not a dictionary.
std::optional<QVariantMap> parseInfoPlist(const QByteArray &xml);

} // namespace AppBundle
