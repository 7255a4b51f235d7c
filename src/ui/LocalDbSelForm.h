#pragma once

#include "frame/WinMovable.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <memory>

namespace Ui {
class LocalDbSelForm;
}

// Asks for the local database to save into: one of the given names or a new name typed
// by the user. Usage, on the caller's stack:
//   LocalDbSelForm form(namesOfTheLocalDatabases, proposedName, mainWindow);
//   const QString name = form.select();  // empty: cancelled
// The name comes back without blanks around it; whether it names an existing database
// (the caller compares ignoring case) is the caller's decision. It never holds a path
// separator or one of \ / : * ? " < > |, is never only dots, and fits in a folder name.
class LocalDbSelForm : public QDialog
{
    Q_OBJECT

public:
    // initialName, when not empty, stands ready in the edit field.
    LocalDbSelForm(const QStringList& names, const QString& initialName, QWidget* parent);
    ~LocalDbSelForm() override;

    // Runs the dialog modally, once per form.
    QString select();

private slots:
    void onBtnOkPress();

private:
    std::unique_ptr<Ui::LocalDbSelForm> ui;
    WinMovable movable;
    QString dbName;
};
