#pragma once

#include <QHash>
#include <QPixmap>
#include <QString>

// The small pictures an item model hands its view, each made once per model. A view
// caches what it draws under the picture's identity, so a picture made afresh on every
// data() call leaves a cache entry behind each time it is drawn. GUI thread.
class RowPictures
{
public:
    // The resource picture scaled to the width the rows draw.
    const QPixmap& resource(const char* path);
    // A picture of outside bytes (a JPEG or PNG) scaled to the height the rows draw; null
    // when the bytes are no picture.
    static QPixmap photo(const QByteArray& bytes);

private:
    QHash<QString, QPixmap> made;
};
