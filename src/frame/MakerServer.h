#pragma once

#include <QString>
#include <QUrl>

// An address on the maker's web server, whose base is $VELTROMINEX_SERVER (default
// http://www.veltrominex.example), so that tests can aim the program at a local server.
QUrl makerServerUrl(const QString& path);
