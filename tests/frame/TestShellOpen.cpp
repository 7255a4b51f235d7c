#include "frame/ShellOpen.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

class TestShellOpen : public QObject
{
    Q_OBJECT

public slots:
    void record(const QUrl& url) { m_opened.append(url); }

private slots:
    void init()
    {
        m_opened.clear();
        for (const char* scheme : {"file", "http", "https"})
            QDesktopServices::setUrlHandler(scheme, this, "record");
    }
    void cleanup()
    {
        for (const char* scheme : {"file", "http", "https"})
            QDesktopServices::unsetUrlHandler(scheme);
    }

    void opensAddressesFilesAndFolders()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("a.txt");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();

        shellOpen("https://example.org/x?y=1");
        shellOpen(file);
        openInExplorer(file);
        openInExplorer(dir.path());
        QCOMPARE(m_opened, (QList<QUrl>{QUrl("https://example.org/x?y=1"), QUrl::fromLocalFile(file),
                                        QUrl::fromLocalFile(dir.path()), QUrl::fromLocalFile(dir.path())}));
    }

private:
    QList<QUrl> m_opened;
};

QTEST_MAIN(TestShellOpen)
#include "TestShellOpen.moc"
