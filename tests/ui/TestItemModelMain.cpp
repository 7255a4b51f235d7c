#include "ui/ItemModelMain.h"

#include "model/MsgSet.h"

#include "support/ShownText.h"

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QBuffer>
#include <QImage>
#include <QPixmap>
#include <QTest>

namespace {

// Adds a chat with one handle per entry of ids to the node's set.
_MsgChat* addChat(_AbsDBItemNode* node, qint64 rowid, const QString& identifier, qint32 lastDate,
                  const QStringList& ids, const QByteArray& photo = QByteArray())
{
    _MsgSet* set = node->msgSet.data();
    auto* chat = new _MsgChat;
    chat->rowid = rowid;
    chat->chat_identifier = identifier;
    chat->lastDate = lastDate;
    for (const QString& id : ids) {
        auto* handle = new _MsgHandle;
        handle->rowid = set->handles.size() + 1;
        handle->id = id;
        handle->_ct_name = QStringLiteral("Name of %1").arg(id);
        handle->_photo = photo;
        set->handles.insert(handle->rowid, handle);
        chat->handles.insert(id, handle);
    }
    set->chats.insert(rowid, chat);
    return chat;
}

QByteArray pngPhoto(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The picture as the view receives it: a pixmap, which may hold the pixels in another format.
QImage asDrawn(const QImage& image)
{
    return QPixmap::fromImage(image).toImage();
}

QImage scaledResource(const char* path)
{
    return asDrawn(QImage(QString::fromLatin1(path)).scaledToWidth(18, Qt::FastTransformation));
}

QImage picture(const ItemModelMain& model, const QModelIndex& index)
{
    return model.data(index, Qt::DecorationRole).value<QPixmap>().toImage();
}

// The view caches what it draws under the picture's identity: a row's picture must be the
// same one on every call, or each redraw leaves a new cache entry behind.
bool samePictureEachCall(const ItemModelMain& model, const QModelIndex& index)
{
    const QPixmap first = model.data(index, Qt::DecorationRole).value<QPixmap>();
    return !first.isNull() && model.data(index, Qt::DecorationRole).value<QPixmap>().cacheKey() == first.cacheKey();
}

AndroidDevice androidPhone(const QString& model)
{
    AndroidDevice device;
    device.manufacturer = QStringLiteral("Maker");
    device.model = model;
    device.serial = model;
    return device;
}

IOSDevice iPhone(const QString& name)
{
    IOSDevice device;
    device.deviceName = name;
    return device;
}

} // namespace

class TestItemModelMain : public QObject
{
    Q_OBJECT

private slots:
    void freshModelHasTheTwoRoots();
    void nodesKeepTheOrderAdded();
    void chatNodesNewestFirstAndReplacedOnReload();
    void chatsSharingAnIdentifierMakeOneNode();
    void chatPictures_data();
    void chatPictures();
    void recoveredChatsAreRed();
    void childCountOfKind();
    void passesModelTesterThroughAddsAndRemovals();
    void chatRowsAcceptance();
};

void TestItemModelMain::freshModelHasTheTwoRoots()
{
    ItemModelMain model(nullptr);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.columnCount(), 1);
    const QModelIndex devices = model.index(0, 0);
    const QModelIndex databases = model.index(1, 0);
    // Without the translation the keys show.
    QCOMPARE(model.data(devices).toString(), QStringLiteral("IDS_ROOT_DEVICE"));
    QCOMPARE(shownText(model.data(databases, Qt::ToolTipRole).toString(), Qt::AutoText),
             QStringLiteral("IDS_ROOT_LOCALDB"));
    QCOMPARE(picture(model, devices), scaledResource(":/res/devices.png"));
    QCOMPARE(picture(model, databases), scaledResource(":/res/databases.png"));
    QVERIFY(samePictureEachCall(model, devices));
    QCOMPARE(model.data(devices, Qt::SizeHintRole).toSize(), QSize(0, 25));
    QVERIFY(!model.data(devices, Qt::ForegroundRole).isValid());
    QVERIFY(!model.headerData(0, Qt::Horizontal).isValid());
    QCOMPARE(model.flags(devices), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
}

void TestItemModelMain::nodesKeepTheOrderAdded()
{
    ItemModelMain model(nullptr);
    model.addLocalDb({}, QStringLiteral("b"));
    model.addLocalDb({}, QStringLiteral("a"));
    model.addAndroidDevice({}, androidPhone(QStringLiteral("Pixel")));
    model.addIOSDevice({}, iPhone(QStringLiteral("Anna's iPhone")));
    const QModelIndex devices = model.index(0, 0);
    const QModelIndex databases = model.index(1, 0);
    QCOMPARE(model.data(model.index(0, 0, databases)).toString(), QStringLiteral("b"));
    QCOMPARE(model.data(model.index(1, 0, databases)).toString(), QStringLiteral("a"));
    QCOMPARE(model.data(model.index(0, 0, devices)).toString(), QStringLiteral("Maker Pixel"));
    QCOMPARE(model.data(model.index(1, 0, devices)).toString(), QStringLiteral("Anna's iPhone"));
    QCOMPARE(picture(model, model.index(0, 0, devices)), scaledResource(":/res/android.png"));
    QCOMPARE(picture(model, model.index(1, 0, devices)), scaledResource(":/res/iphone.png"));
    QCOMPARE(picture(model, model.index(0, 0, databases)), scaledResource(":/res/database.png"));
}

void TestItemModelMain::chatNodesNewestFirstAndReplacedOnReload()
{
    ItemModelMain model(nullptr);
    _LocalDBItemNode* node = model.addLocalDb({}, QStringLiteral("db"));
    addChat(node, 1, QStringLiteral("+1"), 100, {QStringLiteral("+1")});
    addChat(node, 2, QStringLiteral("+3"), 300, {QStringLiteral("+3")});
    addChat(node, 3, QStringLiteral("+2"), 200, {QStringLiteral("+2")});
    model.loadChatSessions(node);
    model.loadChatSessions(node);
    QCOMPARE(node->children.size(), 3);
    QStringList names;
    for (AbsTreeItemModel::_ItemNode* child : node->children)
        names << child->name;
    QCOMPARE(names, (QStringList{"Name of +3", "Name of +2", "Name of +1"}));
    QCOMPARE(static_cast<_ChatSessionItemNode*>(node->children.first())->group.lastDate, 300);
}

void TestItemModelMain::chatsSharingAnIdentifierMakeOneNode()
{
    ItemModelMain model(nullptr);
    _AndroidDeviceItemNode* node = model.addAndroidDevice({}, androidPhone(QStringLiteral("A")));
    addChat(node, 1, QStringLiteral("+1"), 100, {QStringLiteral("+1")});
    addChat(node, 2, QStringLiteral("+1"), 500, {QStringLiteral("+1")});
    model.loadChatSessions(node);
    QCOMPARE(node->children.size(), 1);
    const auto* chatNode = static_cast<_ChatSessionItemNode*>(node->children.first());
    QCOMPARE(chatNode->group.chats.size(), 2);
    QCOMPARE(chatNode->group.lastDate, 500);
}

void TestItemModelMain::chatPictures_data()
{
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<QByteArray>("photo");
    QTest::addColumn<QImage>("picture");
    const QByteArray png = pngPhoto(36, 72);
    QTest::newRow("PNG photo, 18 pixels high")
        << QStringList{"+1"} << png << asDrawn(QImage::fromData(png).scaledToHeight(18, Qt::FastTransformation));
    QTest::newRow("broken photo") << QStringList{"+1"} << QByteArray("\xff\xd8 not a picture")
                                  << scaledResource(":/res/contact.png");
    QTest::newRow("no photo") << QStringList{"+1"} << QByteArray() << scaledResource(":/res/contact.png");
    QTest::newRow("no handle") << QStringList{} << QByteArray() << scaledResource(":/res/contact.png");
    QTest::newRow("group") << QStringList{"+1", "+2"} << png << scaledResource(":/res/group.png");
}

void TestItemModelMain::chatPictures()
{
    QFETCH(QStringList, ids);
    QFETCH(QByteArray, photo);
    QFETCH(QImage, picture);
    ItemModelMain model(nullptr);
    _LocalDBItemNode* node = model.addLocalDb({}, QStringLiteral("db"));
    addChat(node, 1, QStringLiteral("chat1"), 1, ids, photo);
    model.loadChatSessions(node);
    const QModelIndex chat = model.indexOfNode(node->children.first());
    QCOMPARE(model.data(chat, Qt::DecorationRole).typeId(), QMetaType::QPixmap);
    QCOMPARE(::picture(model, chat), picture);
    QVERIFY(samePictureEachCall(model, chat));
}

void TestItemModelMain::recoveredChatsAreRed()
{
    ItemModelMain model(nullptr);
    _LocalDBItemNode* node = model.addLocalDb({}, QStringLiteral("db"));
    addChat(node, -1947483647, QStringLiteral("recovered"), 2, {QStringLiteral("+1")});
    addChat(node, -1947483646, QStringLiteral("kept"), 1, {QStringLiteral("+2")});
    model.loadChatSessions(node);
    QCOMPARE(model.data(model.indexOfNode(node->children.at(0)), Qt::ForegroundRole).value<QBrush>().color(),
             QColor(255, 0, 0, 255));
    QVERIFY(!model.data(model.indexOfNode(node->children.at(1)), Qt::ForegroundRole).isValid());
    QVERIFY(!model.data(model.indexOfNode(node), Qt::ForegroundRole).isValid());
}

void TestItemModelMain::childCountOfKind()
{
    ItemModelMain model(nullptr);
    model.addAndroidDevice({}, androidPhone(QStringLiteral("A")));
    model.addIOSDevice({}, iPhone(QStringLiteral("I")));
    model.addAndroidDevice({}, androidPhone(QStringLiteral("B")));
    QCOMPARE(model.deviceRoot->childCountOfKind(IOSDeviceKind), 1);
    QCOMPARE(model.deviceRoot->childCountOfKind(AndroidDeviceKind), 2);
    QCOMPARE(model.deviceRoot->childCountOfKind(LocalDbKind), 0);
}

void TestItemModelMain::passesModelTesterThroughAddsAndRemovals()
{
    ItemModelMain model(nullptr);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    _AndroidDeviceItemNode* first = model.addAndroidDevice({}, androidPhone(QStringLiteral("A")));
    _IOSDeviceItemNode* second = model.addIOSDevice({}, iPhone(QStringLiteral("I")));
    addChat(first, 1, QStringLiteral("+1"), 1, {QStringLiteral("+1")});
    addChat(second, 1, QStringLiteral("+2"), 1, {QStringLiteral("+2")});
    addChat(second, 2, QStringLiteral("+3"), 2, {QStringLiteral("+3")});
    model.loadChatSessions(first);
    model.loadChatSessions(second);
    model.loadChatSessions(second);
    model.addLocalDb({}, QStringLiteral("db"));

    // Removing the node above another leaves the lower one's index right at once.
    model.removeNode(first);
    QCOMPARE(model.indexOfNode(second).row(), 0);
    QCOMPARE(model.parent(model.indexOfNode(second->children.first())).row(), 0);
    model.removeChildren(second);
    model.removeNode(second);
    QCOMPARE(model.rowCount(model.index(0, 0)), 0);
}

void TestItemModelMain::chatRowsAcceptance()
{
    ItemModelMain model(nullptr);
    _IOSDeviceItemNode* node = model.addIOSDevice({}, iPhone(QStringLiteral("Phone")));
    addChat(node, 1, QStringLiteral("+1"), 100, {QStringLiteral("+1")}, pngPhoto(40, 40));
    addChat(node, -1947483650, QStringLiteral("+2"), 300, {QStringLiteral("+2")});
    addChat(node, 3, QStringLiteral("chat77"), 200, {QStringLiteral("+3"), QStringLiteral("+4")});
    model.loadChatSessions(node);
    QStringList rows;
    for (AbsTreeItemModel::_ItemNode* child : node->children) {
        const QModelIndex index = model.indexOfNode(child);
        const QVariant colour = model.data(index, Qt::ForegroundRole);
        rows << QStringLiteral("%1|%2|%3")
                    .arg(model.data(index).toString(),
                         colour.isValid() ? colour.value<QBrush>().color().name() : QStringLiteral("-"),
                         QString::number(picture(model, index).height()));
    }
    qInfo().noquote() << rows.join(QLatin1Char('\n'));
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(0), QStringLiteral("Name of +2|#ff0000|18"));
    QVERIFY(rows.at(1).endsWith(QStringLiteral("|-|18")));
    QCOMPARE(rows.at(2), QStringLiteral("Name of +1|-|18"));
}

QTEST_MAIN(TestItemModelMain)
#include "TestItemModelMain.moc"
