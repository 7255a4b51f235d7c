#include "model/MsgSetPtr.h"

#include <QTest>

#include <memory>
#include <vector>

namespace {

constexpr qint32 afternoon = 410368020; // 2014-01-02 15:07:00 UTC
const QString afternoonText = QStringLiteral("02 Jan 2014 3:07 PM");

// Records for one message; the message's pointers point into this fixture.
struct MessageFixture
{
    _MsgMessage message;
    std::vector<std::unique_ptr<_MsgAttachment>> attachments;
    std::vector<std::unique_ptr<_MsgHandle>> handles;

    _MsgHandle* handle(const QString& id, const QString& name = QString())
    {
        handles.push_back(std::make_unique<_MsgHandle>());
        handles.back()->id = id;
        handles.back()->_ct_name = name;
        return handles.back().get();
    }
    _MsgAttachment* attach(qint64 rowid, const QString& filename, const QString& mimeType = QString())
    {
        attachments.push_back(std::make_unique<_MsgAttachment>());
        _MsgAttachment* a = attachments.back().get();
        a->rowid = rowid;
        a->filename = filename;
        a->mime_type = mimeType;
        message.attachments.insert(QString::number(rowid), a);
        return a;
    }
};

} // namespace

class TestMsgMessage : public QObject
{
    Q_OBJECT

private slots:
    // Expected fingerprints computed with python's hashlib from the written rule.
    void logicHash_data()
    {
        QTest::addColumn<QString>("handleId"); // null: no handle
        QTest::addColumn<qint32>("date");
        QTest::addColumn<qint32>("fromMe");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<qint32>("itemType");
        QTest::addColumn<QString>("guid");
        QTest::addColumn<QString>("expected");
        const QString withAttachments = QStringLiteral("d25fd9fe8fb20153cc2124cf75f10d17");
        const QString hello = QStringLiteral("Hello\uFFFCworld");
        QTest::newRow("attachments by lower-cased last name; empty name skipped")
            << "+15551234567" << 400000000 << 1 << hello
            << QStringList{"~/Library/SMS/Attachments/ab/IMG_0001.JPG",
                           "/var/mobile/Library/SMS/Attachments/cd/Photo.png", ""}
            << 0 << "A-GUID" << withAttachments;
        QTest::newRow("other folders, case and order") << "+15551234567" << 400000000 << 1 << hello
                                                       << QStringList{"x/PHOTO.PNG", "y/z/img_0001.jpg"} << 0
                                                       << "OTHER" << withAttachments;
        QTest::newRow("backslash folders") << "+15551234567" << 400000000 << 1 << hello
                                           << QStringList{"C:\\sms\\Photo.png", "IMG_0001.jpg"} << 0 << ""
                                           << withAttachments;
        QTest::newRow("only the low byte of is_from_me") << "+15551234567" << 400000000 << 257 << hello
                                                         << QStringList{"Photo.png", "IMG_0001.jpg"} << 0 << ""
                                                         << withAttachments;
        QTest::newRow("no handle, negative date") << QString() << -5 << 0 << "hi" << QStringList{} << 0 << ""
                                                  << "4deb21c3d6f6bbcb2c4e6bbdd48f033d";
        QTest::newRow("group event: the GUID alone")
            << "+15551234567" << 123 << 1 << "ignored" << QStringList{"a.png"} << 2
            << "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0" << "f42f840b9de39a4cdbc9347d55c193f3";
    }
    void logicHash()
    {
        QFETCH(QString, handleId);
        QFETCH(qint32, date);
        QFETCH(qint32, fromMe);
        QFETCH(QString, text);
        QFETCH(QStringList, files);
        QFETCH(qint32, itemType);
        QFETCH(QString, guid);
        QFETCH(QString, expected);
        MessageFixture f;
        if (!handleId.isNull())
            f.message.handle = f.handle(handleId);
        f.message.date = date;
        f.message.is_from_me = fromMe;
        f.message.text = text;
        f.message.item_type = itemType;
        f.message.guid = guid;
        for (qsizetype i = 0; i < files.size(); ++i)
            f.attach(100 + i, files[i]);
        QCOMPARE(f.message.logicHash(), expected);
    }

    void summary_data()
    {
        QTest::addColumn<qint32>("itemType");
        QTest::addColumn<bool>("withHandle");
        QTest::addColumn<bool>("withOtherHandle");
        QTest::addColumn<qint32>("shareStatus");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("mimeType"); // null: no attachment
        QTest::addColumn<QString>("expected");
        const QString none;
        QTest::newRow("participant added") << 1 << true << true << 0 << "" << none
                                           << "Ann Added +1666 to the conversation.\n" + afternoonText;
        QTest::newRow("conversation named by the owner")
            << 2 << false << false << 0 << "" << none << "You named the conversation \"Trip %1\".\n" + afternoonText;
        QTest::newRow("participant left") << 3 << true << false << 0 << "" << none
                                          << "Ann left the conversation.\n" + afternoonText;
        QTest::newRow("sharing stopped") << 4 << true << false << 1 << "" << none
                                         << "Ann stopped sharing location with You.\n" + afternoonText;
        QTest::newRow("sharing started") << 4 << false << true << 0 << "" << none
                                         << "You started sharing location with +1666.\n" + afternoonText;
        QTest::newRow("other event") << 7 << true << true << 0 << "" << none << "System Information.\n" + afternoonText;
        QTest::newRow("image only, mime type in capitals")
            << 0 << true << false << 0 << "\uFFFC" << "IMAGE/JPEG" << "[IMAGE]";
        QTest::newRow("video") << 0 << true << false << 0 << "look\uFFFC" << "video/mp4" << "look [VIDEO]";
        QTest::newRow("audio") << 0 << true << false << 0 << "x" << "audio/amr" << "x [AUDIO]";
        QTest::newRow("vCard, any case") << 0 << true << false << 0 << "x" << "TEXT/X-VCARD" << "x [VCARD]";
        QTest::newRow("vcard") << 0 << true << false << 0 << "x" << "text/vcard" << "x [VCARD]";
        QTest::newRow("anything else") << 0 << true << false << 0 << "x" << "application/pdf" << "x [ATTA]";
        QTest::newRow("text trimmed") << 0 << true << false << 0 << " \n hi there \t" << none << "hi there";
    }
    void summary()
    {
        QFETCH(qint32, itemType);
        QFETCH(bool, withHandle);
        QFETCH(bool, withOtherHandle);
        QFETCH(qint32, shareStatus);
        QFETCH(QString, text);
        QFETCH(QString, mimeType);
        QFETCH(QString, expected);
        MessageFixture f;
        f.message.item_type = itemType;
        f.message.date = afternoon;
        f.message.text = text;
        f.message.group_title = QStringLiteral("Trip %1");
        f.message.share_status = shareStatus;
        if (withHandle)
            f.message.handle = f.handle("+1555", "Ann");
        if (withOtherHandle)
            f.message.otherHandle = f.handle("+1666");
        if (!mimeType.isNull())
            f.attach(1, "a", mimeType);
        QCOMPARE(f.message.summary(), expected);
    }

    void displayTextReplacesEmoji()
    {
        _MsgMessage message;
        message.text = QStringLiteral("hi \U0001F604\uE415!");
        QCOMPARE(message.displayText(), QStringLiteral("hi [EMOJI][EMOJI]!"));
    }

    void names()
    {
        MessageFixture f;
        _MsgHandle* named = f.handle("+1555", "Ann");
        _MsgHandle* unnamed = f.handle("+1666");
        QCOMPARE(named->displayName(true), QStringLiteral("Ann (+1555)"));
        QCOMPARE(named->displayName(false), QStringLiteral("Ann"));
        QCOMPARE(unnamed->displayName(true), QStringLiteral("+1666"));

        _MsgChat chat;
        QCOMPARE(chat.displayName(true), QStringLiteral("Unknown"));
        QCOMPARE(f.message.senderName(), QStringLiteral("unknown"));
        chat.handles.insert("1", named);
        f.message.chat = &chat;
        f.message.handle = named;
        QCOMPARE(chat.displayName(false), QStringLiteral("Ann"));
        QCOMPARE(f.message.senderName(), QStringLiteral("Ann (+1555)"));

        chat.handles.insert("2", unnamed);
        const QString joined = chat.displayName(false);
        QVERIFY2(joined == "Ann, +1666" || joined == "+1666, Ann", qPrintable(joined));
        chat.display_name = QStringLiteral("Team");
        QCOMPARE(chat.displayName(true), QStringLiteral("Team"));
        QCOMPARE(f.message.senderName(), QStringLiteral("Team (Ann)"));
        f.message.handle = unnamed;
        QCOMPARE(f.message.senderName(), QStringLiteral("Team (+1666)"));
        f.message.handle = nullptr;
        QCOMPARE(f.message.senderName(), QStringLiteral("Team"));
    }

    void sortedAttachmentsByRowId()
    {
        MessageFixture f;
        f.attach(5, "e");
        f.attach(-3, "c");
        f.attach(2, "b");
        QList<qint64> rowids;
        for (const _MsgAttachment* a : f.message.sortedAttachments())
            rowids << a->rowid;
        QCOMPARE(rowids, (QList<qint64>{-3, 2, 5}));
    }
};

QTEST_GUILESS_MAIN(TestMsgMessage)
#include "TestMsgMessage.moc"
