#pragma once

#include "actions/ActionFrontEnd.h"

class QWidget;

// The window's side of an action: a modal progress dialog with an empty title for
// each step, run by runWorker, and the application's message boxes. GUI thread.
class DialogFrontEnd : public ActionFrontEnd
{
public:
    explicit DialogFrontEnd(QWidget* parent);

    std::unique_ptr<ActionStep> newStep() override;
    void refuse(const QString& text, const QString& picture = QString()) override;
    void fail(const QString& text) override;
    bool ask(const QString& question) override;
    void inform(const QString& text) override;
    bool unlock(BackupManifest& manifest) override;

private:
    QWidget* parent;
};
