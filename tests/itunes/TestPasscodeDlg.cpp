#include "itunes/PasscodeDlg.h"

#include "frame/ProgressForm.h"
#include "frame/StyleSheet.h"
#include "itunes/BackupManifest.h"
#include "support/BackupFixture.h"
#include "support/MessageBoxAnswerer.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtEndian>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Every class entry of the keybag holds its unwrapped key.
bool keyBagUnlocked(const BackupManifest& manifest)
{
    if (manifest.keyBag.classKeys.isEmpty())
        return false;
    for (const KeyBag::TagMap& entry : manifest.keyBag.classKeys) {
        if (entry.value(QStringLiteral("KEY")).size() != 32)
            return false;
    }
    return true;
}

QByteArray iterItem(quint32 iterations)
{
    QByteArray item("ITER\0\0\0\4", 8);
    item.resize(12);
    qToBigEndian(iterations, item.data() + 8);
    return item;
}

// The generator derives the password key with 1000 rounds.
void setIterations(BackupManifest& manifest, quint32 iterations)
{
    QVERIFY(manifest.backupKeyBag.contains(iterItem(1000)));
    manifest.backupKeyBag.replace(iterItem(1000), iterItem(iterations));
}

} // namespace

class TestPasscodeDlg : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString encrypted;

    void type(PasscodeDlg& dlg, const QString& password)
    {
        dlg.findChild<QLineEdit*>("txtPasscode")->setText(password);
        dlg.findChild<QPushButton*>("btnOK")->click();
    }

private slots:
    void initTestCase()
    {
        encrypted = dir.filePath("encrypted");
        QVERIFY(makeBackup(encrypted, {"0a1b2c", "Phone", QDateTime::currentDateTimeUtc(), "pw"}));
    }

    void emptyPasswordIsRefusedWithoutTryingIt()
    {
        BackupManifest manifest(encrypted);
        manifest.loadPlist();
        MessageBoxAnswerer boxes;
        PasscodeDlg dlg(&manifest);
        dlg.show();
        type(dlg, QString());
        QCOMPARE(boxes.texts, QStringList{"IDS_PWD_IS_NULL"});
        QCOMPARE(boxes.icons.value(0), QMessageBox::Warning);
        QVERIFY(dlg.isVisible());
        QVERIFY(manifest.keyBag.attributes.isEmpty());
    }

    void wrongPasswordIsRefusedUntilTheRightOne()
    {
        BackupManifest manifest(encrypted);
        manifest.loadPlist();
        QVERIFY(manifest.isEncrypted);
        MessageBoxAnswerer boxes;
        PasscodeDlg dlg(&manifest);
        dlg.show();
        auto* field = dlg.findChild<QLineEdit*>("txtPasscode");
        QCOMPARE(field->echoMode(), QLineEdit::Password);

        for (const char* wrong : {"wrong", "pw "}) {
            type(dlg, wrong);
            QVERIFY(dlg.isVisible());
            QVERIFY(field->text().isEmpty());
        }
        QCOMPARE(boxes.texts, (QStringList{"IDS_INVALID_PASSWORD", "IDS_INVALID_PASSWORD"}));
        QVERIFY(!keyBagUnlocked(manifest));

        type(dlg, "pw");
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(!dlg.isVisible());
        QCOMPARE(boxes.texts.size(), 2);
        QVERIFY(keyBagUnlocked(manifest));
    }

    void damagedKeyBagShowsItsErrorAndKeepsTheDialog()
    {
        BackupManifest manifest(encrypted);
        manifest.loadPlist();
        setIterations(manifest, 0x80000000);
        MessageBoxAnswerer boxes;
        PasscodeDlg dlg(&manifest);
        dlg.show();
        type(dlg, "pw");
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts.first().contains("keybag is damaged"), qPrintable(boxes.texts.first()));
        QCOMPARE(boxes.icons.value(0), QMessageBox::Critical);
        QVERIFY(dlg.isVisible());
        QVERIFY(!keyBagUnlocked(manifest));
    }

    // The derivation runs in a worker under a progress dialog whose cancel button stops it
    // at once; the password dialog stays for another try.
    void slowUnlockShowsProgressAndCanBeCancelled()
    {
        BackupManifest manifest(encrypted);
        manifest.loadPlist();
        setIterations(manifest, KeyBag::maxIterations);
        MessageBoxAnswerer boxes;
        PasscodeDlg dlg(&manifest);
        dlg.show();
        int shownProgress = 0;
        // Runs inside the progress dialog's own event loop, once it is on screen.
        QMetaObject::invokeMethod(
            &dlg,
            [&dlg, &shownProgress] {
                auto* form = dlg.findChild<ProgressForm*>();
                QVERIFY(form);
                connect(form->findChild<QProgressBar*>("progressBar"), &QProgressBar::valueChanged, form,
                        [form, &shownProgress](int value) {
                            shownProgress = value;
                            form->findChild<QPushButton*>("btnCancel")->click();
                        });
            },
            Qt::QueuedConnection);
        type(dlg, "pw");
        QVERIFY(shownProgress > 0);
        QVERIFY(boxes.texts.isEmpty());
        QVERIFY(dlg.isVisible());
        QVERIFY(!keyBagUnlocked(manifest));
    }

    void cancelRejects()
    {
        BackupManifest manifest(encrypted);
        manifest.loadPlist();
        PasscodeDlg dlg(&manifest);
        dlg.show();
        dlg.findChild<QLineEdit*>("txtPasscode")->setText("pw");
        dlg.findChild<QPushButton*>("btnCancel")->click();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(!keyBagUnlocked(manifest));
    }

    void isFramelessAndStyled()
    {
        BackupManifest manifest(encrypted);
        PasscodeDlg dlg(&manifest);
        QCOMPARE(dlg.objectName(), QStringLiteral("PasscodeDlg"));
        QVERIFY(dlg.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(dlg.styleSheet(), appStyleSheet());
    }
};

QTEST_MAIN(TestPasscodeDlg)
#include "TestPasscodeDlg.moc"
