#pragma once

#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QString>
#include <QThread>

class WorkerReport;

// Converts the local databases of the older single-file format, lying directly in the
// "local_databases" folder, into database folders of the current format, and removes
// the old files. A file being converted is first renamed "<name>.__tmp"; a run that
// fails leaves it so, and the next run converts it again from the start without
// writing any message twice. It takes no cancel: the caller must offer none.
class LocalDbUpdateThread : public QThread
{
    Q_OBJECT

public:
    LocalDbUpdateThread(WorkerReport* form, QObject* parent);
    ~LocalDbUpdateThread() override;

    // The files of folder that the conversion takes, by name: plain files that begin
    // with the SQLite header. Anything else (a text file, SQLite's own -journal, -wal
    // and -shm files) is left alone.
    static QList<QFileInfo> oldDatabaseFiles(const QDir& folder);
    // The path of the database folder that one of those files becomes.
    static QString targetFolder(const QFileInfo& oldFile);

protected:
    void run() override;

private:
    void convertFile(const QString& path, const QString& folder);

    WorkerReport* form;
};
