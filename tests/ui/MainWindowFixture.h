#pragma once

// What every test that builds the main window needs: the English texts installed, the
// fake adb first on PATH with its own state folder (the window starts the Android
// monitor), a short monitor pause so that windows close quickly, and helpers to find
// the window's widgets and tree rows.

#include "support/FakeAdb.h"

#include "android/AndroidMonitor.h"
#include "ui/MainWindow.h"
#include "ui/MyTreeView.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QStringList>
#include <QTest>
#include <QTranslator>

#include <memory>

class MainWindowFixture
{
public:
    MainWindowFixture()
    {
        if (!english.load(QStringLiteral(":/en.qm")))
            qFatal("The English texts are missing from the resources");
        QApplication::installTranslator(&english);
        AndroidMonitor::setPollInterval(50);
    }

    ~MainWindowFixture() { QApplication::removeTranslator(&english); }

    QTranslator english;
    FakeAdb adb;
};

template<class Widget>
Widget* child(QWidget& window, const char* name)
{
    return window.findChild<Widget*>(QString::fromLatin1(name));
}

// Each row below parent as "path/name", depth first.
inline void treeRows(const QAbstractItemModel& model, const QModelIndex& parent, const QString& path, QStringList& rows)
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        const QString name = path + model.data(index).toString();
        rows << name;
        treeRows(model, index, name + QLatin1Char('/'), rows);
    }
}

inline QStringList treeRows(const QAbstractItemModel& model)
{
    QStringList rows;
    treeRows(model, QModelIndex(), QString(), rows);
    return rows;
}

// The tree row at path (names joined with "/"); invalid when a name is missing.
inline QModelIndex treeRow(MainWindow& window, const QString& path)
{
    auto* tree = child<MyTreeView>(window, "treeViewDS");
    QModelIndex index;
    for (const QString& name : path.split(QLatin1Char('/'))) {
        const QModelIndexList found =
            tree->model()->match(tree->model()->index(0, 0, index), Qt::DisplayRole, name, 1, Qt::MatchExactly);
        if (found.isEmpty())
            return QModelIndex();
        index = found.first();
    }
    return index;
}

// Selects the tree row at path as a user's click does.
inline void selectTreeRow(MainWindow& window, const QString& path)
{
    const QModelIndex index = treeRow(window, path);
    QVERIFY2(index.isValid(), qPrintable(path));
    child<MyTreeView>(window, "treeViewDS")->setCurrentIndex(index);
}
