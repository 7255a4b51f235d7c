#include "msgdb/LocalDbUpdateThread.h"

#include "msgdb/ExportMessagesDb.h"
#include "msgdb/MsgDbLog.h"
#include "msgdb/PhoneSms.h"
#include "msgdb/ProgressPercent.h"
#include "msgdb/Rc4.h"

#include "frame/DataFolder.h"
#include "frame/ReportedRun.h"
#include "frame/WorkerReport.h"
#include "model/AppleTime.h"
#include "model/CountryLibDb.h"

#include <QFile>

#include <stdexcept>

namespace {

const QString tmpSuffix = QStringLiteral("__tmp");

bool isLeftover(const QFileInfo& file)
{
    return file.suffix().compare(tmpSuffix, Qt::CaseInsensitive) == 0;
}

bool beginsWithSqliteHeader(const QString& path)
{
    static const QByteArray header("SQLite format 3", 16); // with its NUL
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(header.size()) == header;
}

QString decipherBody(const QByteArray& body)
{
    static const QByteArray key("3F6B2D90C4E81A57B02E9D64F1C3A8E5");
    return body.isEmpty() ? QString() : QString::fromUtf8(rc4(key, body));
}

// One row of view_sms as an SMS in a one-to-one chat.
void writeOldMessage(ExportMessagesDb& exporter, const Sqlite3Cursor& row, const _CountryInfo& country)
{
    PhoneSms sms;
    sms.address = country.canonicalizePhoneNumber(row.getText(QStringLiteral("address")));
    sms.contactName = row.getText(QStringLiteral("person"));
    sms.text = decipherBody(row.getBlob(QStringLiteral("body")));
    sms.date = qint32(row.getInt64(QStringLiteral("date")) - appleEpochUnixSeconds);
    sms.fromMe = row.getInt64(QStringLiteral("is_send")) != 0;
    writePhoneSms(exporter, sms);
}

} // namespace

LocalDbUpdateThread::LocalDbUpdateThread(WorkerReport* form, QObject* parent)
    : QThread(parent)
    , form(form)
{
}

LocalDbUpdateThread::~LocalDbUpdateThread() = default;

QList<QFileInfo> LocalDbUpdateThread::oldDatabaseFiles(const QDir& folder)
{
    QList<QFileInfo> files;
    for (const QFileInfo& file : folder.entryInfoList(QDir::Files, QDir::Name))
        if (beginsWithSqliteHeader(file.absoluteFilePath()))
            files.append(file);
    return files;
}

QString LocalDbUpdateThread::targetFolder(const QFileInfo& oldFile)
{
    const QString path = oldFile.absoluteFilePath();
    return isLeftover(oldFile) ? path.left(path.lastIndexOf(QLatin1Char('.'))) : path;
}

void LocalDbUpdateThread::run()
{
    runReported(*form, [this] {
        const QDir folder = localDatabasesDir();
        for (const QFileInfo& file : oldDatabaseFiles(folder)) {
            form->postProgress(tr("IDS_UPDATING_LOCALDB_%1").arg(file.fileName()), 0, QString());
            QString path = file.absoluteFilePath();
            if (!isLeftover(file)) {
                const QString renamed = path + QLatin1Char('.') + tmpSuffix;
                if (!QFile::rename(path, renamed))
                    throw std::runtime_error(QStringLiteral("can not rename %1.").arg(path).toStdString());
                path = renamed;
            }
            convertFile(path, targetFolder(file));
        }
        // Converted files whose removal failed above.
        for (const QFileInfo& file : oldDatabaseFiles(folder))
            if (isLeftover(file))
                QFile::remove(file.absoluteFilePath());
        form->postSucceed(tr("IDS_LOCALDB_UPDATE_SUC_RESTART_REFRESH"));
    });
}

void LocalDbUpdateThread::convertFile(const QString& path, const QString& folder)
{
    ExportMessagesDb exporter{QDir(folder), QString()};
    Sqlite3DB oldDb;
    try {
        oldDb.openThrow(path, Sqlite3DB::ReadWrite);
        exporter.begin();
        CountryLibDb countries{QString()};
        const _CountryInfo& country = countries.defaultCountry();
        Sqlite3Cursor rows = oldDb.queryThrow(QStringLiteral("select * from view_sms"));
        const int total = rows.count();
        for (int done = 1; rows.moveNext(); ++done) {
            form->postProgress(QString(), progressPercent(done, total), tr("SMS: %1/%2").arg(done).arg(total));
            writeOldMessage(exporter, rows, country);
        }
        exporter.end();
    } catch (...) {
        exporter.abandon();
        throw;
    }
    oldDb.close();
    if (!QFile::remove(path))
        qCWarning(lcMsgDb, "LocalDbUpdateThread: cannot remove %s after converting it.", qUtf8Printable(path));
}
