#pragma once

#include "actions/export/ExportFormat.h"

#include "model/MsgMessage.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QThread>

class WorkerReport;

// Exports messages to files: one text or CSV file for the whole list, in the list's order,
// or a folder with one PDF or HTML file per chat (HTML with its images beside it), chats
// and messages in date order. Reports only through its report. Each file takes its place
// only when whole: a cancel or a failure leaves a file the run was replacing as it was,
// and removes what this run created and nothing else. The records and the report belong to
// the caller and must outlive the thread; the records are only read.
class ExportSMSThread : public QThread
{
    Q_OBJECT

public:
    // path: the file (Text, Csv) or folder (Pdf, Html) that exportTargetFor gave.
    // ascending: the message list's sort direction, for the per-chat formats.
    ExportSMSThread(QList<_MsgMessage*> messages, const QString& path, ExportFormat format, bool ascending,
                    WorkerReport* form, QObject* parent);
    ~ExportSMSThread() override;

    // After a run that succeeded: the absolute paths of the message files written, in
    // writing order (copied images are not listed), and the number of messages written.
    QStringList writtenFiles() const { return files; }
    int writtenCount() const { return written; }

protected:
    void run() override;

private:
    QList<_MsgMessage*> messages;
    QString path;
    ExportFormat format;
    bool ascending;
    WorkerReport* form;
    QStringList files;
    int written = 0;
};
