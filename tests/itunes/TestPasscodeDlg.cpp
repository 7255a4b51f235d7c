#include "itunes/PasscodeDlg.h"

#include "frame/StyleSheet.h"
#include "itunes/BackupManifest.h"
#include "support/BackupFixture.h"
#include "support/MessageBoxAnswerer.h"

#include <QLineEdit>
#include <QPushButton>
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
