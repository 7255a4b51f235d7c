#include "itunes/LoadItunesBackupDlg.h"

#include "frame/StyleSheet.h"
#include "itunes/BackupManifest.h"
#include "support/BackupFixture.h"
#include "support/MessageBoxAnswerer.h"

#include <QApplication>
#include <QFileDialog>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

namespace {

QDateTime may(int day)
{
    return QDateTime(QDate(2024, 5, day), QTime(9, 30), Qt::UTC);
}

// Answers the folder chooser the chooser opens, with folder, or cancels it when folder is
// empty. Lives for the duration of one test function.
class FolderChooserAnswerer : public QObject
{
public:
    explicit FolderChooserAnswerer(const QString& folder)
        : folder(folder)
    {
        qApp->installEventFilter(this);
    }

    int shown = 0;

    bool eventFilter(QObject* object, QEvent* event) override
    {
        auto* chooser = qobject_cast<QFileDialog*>(object);
        if (chooser && event->type() == QEvent::Show) {
            ++shown;
            QTimer::singleShot(0, chooser, [this, chooser] {
                if (folder.isEmpty()) {
                    chooser->reject();
                    return;
                }
                chooser->setDirectory(folder);
                QMetaObject::invokeMethod(chooser, "accept");
            });
        }
        return false;
    }

private:
    QString folder;
};

QStringList column(const QTreeView* view, int column)
{
    QStringList texts;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        texts << view->model()->index(row, column).data().toString();
    return texts;
}

} // namespace

class TestLoadItunesBackupDlg : public QObject
{
    Q_OBJECT

    QDir root;
    // Generated once: "one", "two" and "three", dated 1, 2 and 3 May, each named after its
    // device identifier and its device.
    QTemporaryDir library;
    QTemporaryDir elsewhere;

    QString inRoot(const QString& name) const { return root.absoluteFilePath(name); }
    bool place(const char* backup, const QString& folder) { return copyBackup(library.filePath(backup), folder); }

private slots:
    void initTestCase()
    {
        QVERIFY(makeBackup(library.filePath("one"), {"one", "One", may(1)}));
        QVERIFY(makeBackup(library.filePath("two"), {"two", "Two", may(2)}));
        QVERIFY(makeBackup(library.filePath("three"), {"three", "Three", may(3)}));
    }

    void init()
    {
        root = BackupManifest::defaultBackupRoot();
        QVERIFY(root.removeRecursively());
        QVERIFY(root.mkpath(QStringLiteral(".")));
    }
    void cleanup() { QVERIFY(root.removeRecursively()); }

    void listsBackupsNewestFirst()
    {
        QVERIFY(place("one", inRoot("one")));
        QVERIFY(place("three", inRoot("three")));
        QVERIFY(place("two", inRoot("two-saved")));
        QVERIFY(root.mkpath("only-mbdb"));
        QVERIFY(writeFile(inRoot("only-mbdb/Manifest.mbdb"), {}));
        QVERIFY(root.mkpath("empty"));

        MessageBoxAnswerer boxes;
        LoadItunesBackupDlg dlg;
        auto* list = dlg.findChild<QTreeView*>("listBackups");
        QVERIFY(list);
        QCOMPARE(column(list, 0), (QStringList{"Three", "Two-saved", "One"}));
        QCOMPARE(column(list, 1), (QStringList{QLocale::system().toString(may(3), QLocale::ShortFormat),
                                               QLocale::system().toString(may(2), QLocale::ShortFormat),
                                               QLocale::system().toString(may(1), QLocale::ShortFormat)}));
        QCOMPARE(column(list, 2), (QStringList{inRoot("three"), inRoot("two-saved"), inRoot("one")}));
        QVERIFY(!list->currentIndex().isValid());
        QVERIFY(boxes.texts.isEmpty());

        QCOMPARE(dlg.objectName(), QStringLiteral("LoadItunesBackupDlg"));
        QVERIFY(dlg.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(dlg.styleSheet(), appStyleSheet());
    }

    void missingRootListsNothingAndLoadWarns()
    {
        QVERIFY(root.removeRecursively());
        MessageBoxAnswerer boxes;
        LoadItunesBackupDlg dlg;
        dlg.show();
        QCOMPARE(dlg.findChild<QTreeView*>("listBackups")->model()->rowCount(), 0);
        dlg.findChild<QPushButton*>("btnLoad")->click();
        QCOMPARE(boxes.texts, QStringList{"IDS_PLEASE_SELECT_ONE_ITUNES_BACKUP"});
        QVERIFY(dlg.isVisible());
        QVERIFY(!dlg.selectedBackup);
    }

    void unreadableBackupIsReportedAndLeftOut()
    {
        QVERIFY(place("one", inRoot("one")));
        QVERIFY(root.mkpath("broken"));
        QVERIFY(writeFile(inRoot("broken/Manifest.mbdb"), {}));
        QVERIFY(root.mkpath("broken/Manifest.plist")); // a folder where the file belongs

        MessageBoxAnswerer boxes;
        LoadItunesBackupDlg dlg;
        QCOMPARE(column(dlg.findChild<QTreeView*>("listBackups"), 0), QStringList{"One"});
        QCOMPARE(boxes.texts.size(), 1);
        QCOMPARE(boxes.icons.value(0), QMessageBox::Critical);
        QVERIFY2(boxes.texts.value(0).contains(QStringLiteral("load %1 error. ").arg(inRoot("broken"))),
                 qPrintable(boxes.texts.value(0)));
    }

    void equalDatesKeepTheFolderTimeOrder()
    {
        QVERIFY(place("two", inRoot("later")));
        QVERIFY(place("two", inRoot("earlier")));
        QVERIFY(setModified(inRoot("later"), may(10)));
        QVERIFY(setModified(inRoot("earlier"), may(5)));
        LoadItunesBackupDlg dlg;
        QCOMPARE(column(dlg.findChild<QTreeView*>("listBackups"), 0),
                 (QStringList{"Two-earlier", "Two-later"}));
    }

    void loadChoosesTheCurrentBackup()
    {
        QVERIFY(place("one", inRoot("one")));
        QVERIFY(place("two", inRoot("two")));
        LoadItunesBackupDlg dlg;
        dlg.show();
        auto* list = dlg.findChild<QTreeView*>("listBackups");
        list->setCurrentIndex(list->model()->index(1, 0));
        dlg.findChild<QPushButton*>("btnLoad")->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(dlg.selectedBackup);
        QCOMPARE(dlg.selectedBackup->folder.absolutePath(), inRoot("one"));
    }

    void doubleClickChoosesAtOnce()
    {
        QVERIFY(place("one", inRoot("one")));
        QVERIFY(place("two", inRoot("two")));
        LoadItunesBackupDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* list = dlg.findChild<QTreeView*>("listBackups");
        const QPoint cell = list->visualRect(list->model()->index(0, 1)).center();
        // A person's double click: a click, then the second press that the platform
        // reports as a double click.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.selectedBackup->folder.absolutePath(), inRoot("two"));
    }

    void cancelRejects()
    {
        QVERIFY(place("one", inRoot("one")));
        LoadItunesBackupDlg dlg;
        dlg.show();
        auto* list = dlg.findChild<QTreeView*>("listBackups");
        list->setCurrentIndex(list->model()->index(0, 0));
        dlg.findChild<QPushButton*>("btnCancel")->click();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(!dlg.selectedBackup);
    }

    void addedFolderIsListedAndCurrent()
    {
        QVERIFY(place("one", inRoot("one")));
        QVERIFY(place("three", inRoot("three")));
        const QString other = elsewhere.filePath("saved");
        QVERIFY(place("two", other));

        MessageBoxAnswerer boxes;
        FolderChooserAnswerer chooser(other);
        LoadItunesBackupDlg dlg;
        dlg.show();
        auto* list = dlg.findChild<QTreeView*>("listBackups");
        emit dlg.findChild<QLabel*>("lbAddOther")->linkActivated("#");
        QCOMPARE(chooser.shown, 1);
        QCOMPARE(column(list, 0), (QStringList{"Three", "Two-saved", "One"}));
        QCOMPARE(list->currentIndex().row(), 1);
        QCOMPARE(column(list, 2).value(1), QDir(other).absolutePath());
        QVERIFY(boxes.texts.isEmpty());
    }

    void addingAListedFolderWarnsWithoutReadingIt()
    {
        QVERIFY(place("one", inRoot("one")));
        MessageBoxAnswerer boxes;
        LoadItunesBackupDlg dlg;
        // Were it read again, the broken manifest would show an error box instead.
        QVERIFY(writeFile(inRoot("one/Manifest.plist"), "not a property list"));
        FolderChooserAnswerer chooser(inRoot("one"));
        emit dlg.findChild<QLabel*>("lbAddOther")->linkActivated("#");
        QCOMPARE(boxes.texts, QStringList{"IDS_LOAD_BK_EXISTS"});
        QCOMPARE(boxes.icons.value(0), QMessageBox::Warning);
        QCOMPARE(column(dlg.findChild<QTreeView*>("listBackups"), 0), QStringList{"One"});
    }

    void addingAFolderWithoutManifestReportsIt_data()
    {
        QTest::addColumn<QString>("kept"); // the one manifest file the folder holds, if any
        QTest::addColumn<QString>("missing");
        QTest::newRow("an empty folder") << "" << "Manifest.plist";
        QTest::newRow("without Manifest.plist") << "Manifest.mbdb" << "Manifest.plist";
        QTest::newRow("without Manifest.mbdb") << "Manifest.plist" << "Manifest.mbdb";
    }
    void addingAFolderWithoutManifestReportsIt()
    {
        QFETCH(QString, kept);
        QFETCH(QString, missing);
        QVERIFY(place("one", inRoot("one")));
        QTemporaryDir scratch;
        const QString other = scratch.filePath("not-a-backup");
        QVERIFY(QDir().mkpath(other));
        if (!kept.isEmpty())
            QVERIFY(QFile::copy(inRoot("one/" + kept), QDir(other).filePath(kept)));
        MessageBoxAnswerer boxes;
        FolderChooserAnswerer chooser(other);
        LoadItunesBackupDlg dlg;
        emit dlg.findChild<QLabel*>("lbAddOther")->linkActivated("#");
        QCOMPARE(boxes.texts.size(), 1);
        const QString expected = QStringLiteral("load %1 error. Cannot find %2")
                                     .arg(QDir(other).absolutePath(), QDir(other).absoluteFilePath(missing));
        QVERIFY2(boxes.texts.value(0).contains(expected), qPrintable(boxes.texts.value(0)));
        QCOMPARE(boxes.icons.value(0), QMessageBox::Critical);
        QCOMPARE(column(dlg.findChild<QTreeView*>("listBackups"), 0), QStringList{"One"});
    }

    void cancelledFolderChooserChangesNothing()
    {
        QVERIFY(place("one", inRoot("one")));
        MessageBoxAnswerer boxes;
        FolderChooserAnswerer chooser(QString{});
        LoadItunesBackupDlg dlg;
        emit dlg.findChild<QLabel*>("lbAddOther")->linkActivated("#");
        QCOMPARE(chooser.shown, 1);
        QCOMPARE(column(dlg.findChild<QTreeView*>("listBackups"), 0), QStringList{"One"});
        QVERIFY(boxes.texts.isEmpty());
    }

    void columnsShareTheWidth()
    {
        LoadItunesBackupDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.width(), 600);
        const QTreeView* list = dlg.findChild<QTreeView*>("listBackups");
        const QHeaderView* header = list->header();
        QCOMPARE(header->sectionSize(0), 208);
        // A quarter of the width, or more where the locale's dates need it.
        QVERIFY(header->sectionSize(1) >= 130);
        // The view stretches the last column over what the others leave.
        QVERIFY(header->stretchLastSection());
        QCOMPARE(header->sectionSize(2), list->viewport()->width() - 208 - header->sectionSize(1));
    }

    void dateColumnFitsTheShortDate()
    {
        QVERIFY(place("one", inRoot("one")));
        LoadItunesBackupDlg dlg;
        QTreeView* list = dlg.findChild<QTreeView*>("listBackups");
        // As wide as a long date format of some locales would make it.
        QFont large = list->font();
        large.setPointSize(30);
        list->setFont(large);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        const int dateWidth = list->fontMetrics().horizontalAdvance(list->model()->index(0, 1).data().toString());
        QVERIFY2(dateWidth > 130, qPrintable(QString::number(dateWidth)));
        QVERIFY(list->header()->sectionSize(1) > dateWidth);
        QCOMPARE(list->header()->sectionSize(0), 208);
    }
};

QTEST_MAIN(TestLoadItunesBackupDlg)
#include "TestLoadItunesBackupDlg.moc"
