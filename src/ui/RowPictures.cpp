#include "ui/RowPictures.h"

#include <QImage>

namespace {

constexpr int rowPictureSide = 18;

} // namespace

const QPixmap& RowPictures::resource(const char* path)
{
    const QString name = QString::fromLatin1(path);
    auto found = made.find(name);
    if (found == made.end())
        found =
            made.insert(name, QPixmap::fromImage(QImage(name).scaledToWidth(rowPictureSide, Qt::FastTransformation)));
    return *found;
}

QPixmap RowPictures::photo(const QByteArray& bytes)
{
    QImage photo;
    if (bytes.isEmpty())
        return QPixmap();
    if (!photo.loadFromData(bytes, "JPG"))
        photo.loadFromData(bytes, "PNG");
    if (photo.isNull())
        return QPixmap();
    return QPixmap::fromImage(photo.scaledToHeight(rowPictureSide, Qt::FastTransformation));
}
