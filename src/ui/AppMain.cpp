#include "ui/AppMain.h"

#include "frame/DataFolder.h"
#include "frame/EnglishTexts.h"
#include "frame/Logger.h"
#include "frame/MessageBox.h"
#include "frame/PrivateFolder.h"
#include "frame/ProgressForm.h"
#include "frame/RunWorker.h"
#include "ios/mobiledevice_library.h"
#include "msgdb/LocalDbUpdateThread.h"
#include "sqlite/SqliteQtVersion.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QHashSeed>

namespace {

constexpr int acceptedSqliteQtVersion = 5;
constexpr int keptLogFiles = 10;

// Returns whether the conversion succeeded, in which case the program ends so that the
// user restarts it on the converted databases.
bool convertOldLocalDatabases()
{
    ProgressForm form(QString(), nullptr);
    form.setCancelEnabled(false);
    LocalDbUpdateThread thread(&form, nullptr);
    return runWorker(thread, form).result == WorkerOutcome::Succeeded;
}

} // namespace

int appMain(int argc, char** argv)
{
    QHashSeed::setDeterministicGlobalSeed();
    keepNewFilesPrivate();
    QApplication app(argc, argv);
    setHeadlessMessageBoxes(qEnvironmentVariableIsSet(headlessBoxesVariable) && qgetenv(headlessBoxesVariable) != "0");

    installEnglishTexts(app);

    if (sqlite_qt_version() != acceptedSqliteQtVersion) {
        showError(QStringLiteral("invalid libsqlite_qt."));
        return 1;
    }

    // The log first: making the data folder may have something to say.
    installLogger(QDir(appDataPath()).absoluteFilePath(QStringLiteral("qlogs")), keptLogFiles);
    appDataDir();

    QString loadError;
    mobiledevice_load_frameworks(loadError);

    MainWindow window(nullptr);
    window.show();

    if (!mobiledevice_frameworks_loaded())
        showWarning(QObject::tr("IDS_NONE_INSTALL_ITUNES"));

    // The window listed the database folders before the conversion made new ones.
    if (!LocalDbUpdateThread::oldDatabaseFiles(localDatabasesDir()).isEmpty() && convertOldLocalDatabases())
        QMetaObject::invokeMethod(&window, "close", Qt::QueuedConnection);
    return QApplication::exec();
}
