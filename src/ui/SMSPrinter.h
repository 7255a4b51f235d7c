#pragma once

#include "model/MsgMessage.h"

#include <QList>
#include <QObject>

class QPrinter;

// Prints messages through the print preview, on the GUI thread. Without an installed
// printer the preview runs on a PDF printer.
class SMSPrinter : public QObject
{
    Q_OBJECT

public:
    explicit SMSPrinter(QObject* parent);

    // Returns when the preview is closed. The records must live until then.
    void print(const QList<_MsgMessage*>& list);

public slots:
    // Draws every message of the list, in its order, on the printer.
    void onPaintRequested(QPrinter* printer);

private:
    QList<_MsgMessage*> messages;
};
