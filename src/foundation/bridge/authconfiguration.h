#pragma once

#include <QString>
#include <QUrl>

// Address and publishable key of the cloud authentication API, read from the
// tools folder (never stored by the application). `identity` is the host of
// `url` and names the connection.
struct EditorAuthConfiguration
{
    QUrl url;
    QString key;
    QString identity;
};
