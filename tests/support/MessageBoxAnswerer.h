#pragma once

// Answers the message boxes a widget test opens, as a person would: every box, once on
// screen, is recorded and then closed with the given button, or with Escape when the
// answer is NoButton. Lives for the duration of one test function.

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <functional>

class MessageBoxAnswerer : public QObject
{
public:
    explicit MessageBoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok)
        : answer(answer)
    {
        qApp->installEventFilter(this);
    }

    // Called with each box before it is answered.
    std::function<void(QMessageBox*)> inspect;
    QStringList texts;
    QList<QMessageBox::Icon> icons;

    bool eventFilter(QObject* object, QEvent* event) override
    {
        auto* box = qobject_cast<QMessageBox*>(object);
        if (box && event->type() == QEvent::Show) {
            // Answer once the box's own event loop runs.
            QTimer::singleShot(0, box, [this, box] { answerBox(box); });
        }
        return false;
    }

private:
    void answerBox(QMessageBox* box)
    {
        texts << box->text();
        icons << box->icon();
        if (inspect)
            inspect(box);
        if (answer == QMessageBox::NoButton) {
            QTest::keyClick(box, Qt::Key_Escape);
            return;
        }
        QAbstractButton* button = box->button(answer);
        if (!button)
            qFatal("MessageBoxAnswerer: the box does not offer the answer");
        button->click();
    }

    QMessageBox::StandardButton answer;
};
