#pragma once

// Answers the modal dialogs a window test opens, as a person would, from a script: every
// 20 ms it looks at the active modal widget. A message box is recorded and answered with
// the next scripted answer it offers (Yes, else Ok, when the script has none). A progress
// dialog is left to its worker. Any other dialog is handed to the next scripted step for
// its class; a dialog without one is recorded as unexpected and rejected, so that a test
// never hangs on it. Lives for the duration of one test function.

#include "frame/ProgressForm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QQueue>
#include <QStringList>
#include <QTimer>

#include <functional>

class ModalResponder : public QObject
{
public:
    ModalResponder()
    {
        connect(&tick, &QTimer::timeout, this, &ModalResponder::respond);
        tick.start(20);
    }

    // The answer to the next message box that offers it.
    void answerBox(QMessageBox::StandardButton answer) { boxAnswers.enqueue(answer); }
    // What to do with the next dialog of the class; act must close it.
    void onDialog(const char* className, std::function<void(QDialog*)> act)
    {
        steps.enqueue({QString::fromLatin1(className), std::move(act)});
    }

    QStringList boxTexts;
    QList<QMessageBox::Icon> boxIcons;
    QStringList unexpected;

private:
    struct Step
    {
        QString className;
        std::function<void(QDialog*)> act;
    };

    void respond()
    {
        QWidget* active = QApplication::activeModalWidget();
        if (!active || !active->isVisible() || qobject_cast<ProgressForm*>(active))
            return;
        if (auto* box = qobject_cast<QMessageBox*>(active)) {
            boxTexts << box->text();
            boxIcons << box->icon();
            QAbstractButton* button = nullptr;
            if (!boxAnswers.isEmpty() && box->button(boxAnswers.head()))
                button = box->button(boxAnswers.dequeue());
            if (!button)
                button = box->button(QMessageBox::Yes) ? box->button(QMessageBox::Yes) : box->button(QMessageBox::Ok);
            if (button)
                button->click();
            else
                box->reject();
            return;
        }
        auto* dialog = qobject_cast<QDialog*>(active);
        if (!dialog)
            return;
        const QString className = QString::fromLatin1(dialog->metaObject()->className());
        if (!steps.isEmpty() && steps.head().className == className) {
            steps.dequeue().act(dialog);
            return;
        }
        unexpected << className;
        dialog->reject();
    }

    QTimer tick;
    QQueue<QMessageBox::StandardButton> boxAnswers;
    QQueue<Step> steps;
};
