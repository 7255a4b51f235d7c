#include "itunes/ItemModelLoadBk.h"

#include "itunes/BackupManifest.h"

#include "frame/PlainToolTip.h"

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QLocale>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <QWeakPointer>

namespace {

QSharedPointer<BackupManifest> manifestDated(const QString& name, const QDateTime& date)
{
    QSharedPointer<BackupManifest> manifest(new BackupManifest(QStringLiteral("/backups/") + name, nullptr));
    manifest->displayName = name;
    manifest->date = date;
    return manifest;
}

QDateTime may(int day, int hour = 12)
{
    return QDateTime(QDate(2024, 5, day), QTime(hour, 0), Qt::UTC);
}

QStringList namesInRowOrder(const ItemModelLoadBk& model)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names << model.index(row, 0).data().toString();
    return names;
}

} // namespace

class TestItemModelLoadBk : public QObject
{
    Q_OBJECT

private slots:
    void insertKeepsNewestFirst_data()
    {
        QTest::addColumn<QList<QDateTime>>("dates");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("1, 3, 2 May") << QList<QDateTime>{may(1), may(3), may(2)} << QStringList{"b1", "b2", "b0"};
        QTest::newRow("equal date goes after the listed one")
            << QList<QDateTime>{may(2), may(2), may(2)} << QStringList{"b0", "b1", "b2"};
        QTest::newRow("equal date among others")
            << QList<QDateTime>{may(3), may(1), may(2), may(1, 12)} << QStringList{"b0", "b2", "b1", "b3"};
        QTest::newRow("hours count") << QList<QDateTime>{may(1, 8), may(1, 9)} << QStringList{"b1", "b0"};
    }
    void insertKeepsNewestFirst()
    {
        QFETCH(QList<QDateTime>, dates);
        QFETCH(QStringList, expected);
        ItemModelLoadBk model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QTreeView view;
        view.setModel(&model);
        for (int i = 0; i < dates.size(); ++i)
            model.insertBackup(manifestDated(QStringLiteral("b%1").arg(i), dates.at(i)));
        QCOMPARE(namesInRowOrder(model), expected);
    }

    void insertAnnouncesItsRow()
    {
        ItemModelLoadBk model;
        model.insertBackup(manifestDated("old", may(1)));
        model.insertBackup(manifestDated("new", may(3)));
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        const auto manifest = manifestDated("middle", may(2));
        ItemModelLoadBk::_BKItemNode* node = model.insertBackup(manifest);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted.at(0).at(0).toModelIndex(), QModelIndex());
        QCOMPARE(inserted.at(0).at(1).toInt(), 1);
        QCOMPARE(inserted.at(0).at(2).toInt(), 1);
        QCOMPARE(node->manifest, manifest);
        QCOMPARE(node->name, QStringLiteral("middle"));
        QCOMPARE(node->kind, 0);
        QVERIFY(!node->parentNode);
        QCOMPARE(model.indexOfNode(node).row(), 1);
        QCOMPARE(model.rowCount(model.index(1, 0)), 0);
    }

    void headers_data()
    {
        QTest::addColumn<int>("section");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<int>("role");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("name") << 0 << int(Qt::Horizontal) << int(Qt::DisplayRole) << QVariant("Name");
        QTest::newRow("date") << 1 << int(Qt::Horizontal) << int(Qt::DisplayRole) << QVariant("Backup Date");
        QTest::newRow("path") << 2 << int(Qt::Horizontal) << int(Qt::DisplayRole) << QVariant("Path");
        QTest::newRow("section past the columns") << 3 << int(Qt::Horizontal) << int(Qt::DisplayRole) << QVariant();
        QTest::newRow("vertical") << 0 << int(Qt::Vertical) << int(Qt::DisplayRole) << QVariant();
        QTest::newRow("tool tip role") << 0 << int(Qt::Horizontal) << int(Qt::ToolTipRole) << QVariant();
    }
    void headers()
    {
        QFETCH(int, section);
        QFETCH(int, orientation);
        QFETCH(int, role);
        QFETCH(QVariant, expected);
        ItemModelLoadBk model;
        QCOMPARE(model.headerData(section, Qt::Orientation(orientation), role), expected);
    }

    void cellData_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("role");
        QTest::addColumn<QVariant>("expected");
        const QString dateText = QLocale::system().toString(may(3), QLocale::ShortFormat);
        QTest::newRow("name") << 0 << 0 << int(Qt::DisplayRole) << QVariant("newer");
        QTest::newRow("name tool tip") << 0 << 0 << int(Qt::ToolTipRole) << QVariant(plainToolTip("newer"));
        QTest::newRow("date in the short system format") << 0 << 1 << int(Qt::DisplayRole) << QVariant(dateText);
        QTest::newRow("date tool tip") << 0 << 1 << int(Qt::ToolTipRole) << QVariant(plainToolTip(dateText));
        QTest::newRow("absolute folder path") << 1 << 2 << int(Qt::DisplayRole) << QVariant("/backups/older");
        QTest::newRow("even row is grey") << 0 << 2 << int(Qt::BackgroundRole)
                                          << QVariant(QBrush(QColor(250, 250, 250, 255)));
        QTest::newRow("odd row is white") << 1 << 0 << int(Qt::BackgroundRole)
                                          << QVariant(QBrush(QColor(255, 255, 255, 255)));
        QTest::newRow("size hint") << 1 << 1 << int(Qt::SizeHintRole) << QVariant(QSize(0, 25));
        QTest::newRow("no decoration past the name") << 0 << 1 << int(Qt::DecorationRole) << QVariant();
        QTest::newRow("no edit role") << 0 << 0 << int(Qt::EditRole) << QVariant();
        QTest::newRow("no font role") << 0 << 0 << int(Qt::FontRole) << QVariant();
    }
    void cellData()
    {
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(int, role);
        QFETCH(QVariant, expected);
        ItemModelLoadBk model;
        model.insertBackup(manifestDated("older", may(1)));
        model.insertBackup(manifestDated("newer", may(3)));
        QCOMPARE(model.index(row, column).data(role), expected);
    }

    void decorationIsThePhoneEighteenWide()
    {
        ItemModelLoadBk model;
        model.insertBackup(manifestDated("one", may(1)));
        const QVariant decoration = model.index(0, 0).data(Qt::DecorationRole);
        QCOMPARE(decoration.typeId(), QMetaType::QPixmap);
        QCOMPARE(decoration.value<QPixmap>().width(), 18);
        QVERIFY(!model.data(QModelIndex(), Qt::DisplayRole).isValid());
    }

    void nameIsReadWhenAsked()
    {
        ItemModelLoadBk model;
        const auto manifest = manifestDated("before", may(1));
        ItemModelLoadBk::_BKItemNode* node = model.insertBackup(manifest);
        manifest->displayName = QStringLiteral("after");
        QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("after"));
        QCOMPARE(node->name, QStringLiteral("before"));
    }

    void manifestLivesAsLongAsItsLastHolder()
    {
        QWeakPointer<BackupManifest> dropped;
        QSharedPointer<BackupManifest> kept = manifestDated("kept", may(2));
        {
            ItemModelLoadBk model;
            auto manifest = manifestDated("dropped", may(1));
            dropped = manifest;
            model.insertBackup(manifest);
            model.insertBackup(kept);
        }
        QVERIFY(dropped.isNull());
        QCOMPARE(kept->displayName, QStringLiteral("kept"));
    }
};

QTEST_MAIN(TestItemModelLoadBk)
#include "TestItemModelLoadBk.moc"
