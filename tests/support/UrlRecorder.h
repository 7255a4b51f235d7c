#pragma once

// Takes what the program hands to the desktop (web addresses, files, folders) instead of
// opening it, while the object lives.

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>

class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    UrlRecorder()
    {
        for (const char* scheme : schemes)
            QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "open");
    }
    ~UrlRecorder() override
    {
        for (const char* scheme : schemes)
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    }

    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }

private:
    static constexpr const char* schemes[] = {"http", "https", "file"};
};
