#include "ui/DialogFrontEnd.h"

#include "frame/MessageBox.h"
#include "frame/ProgressForm.h"
#include "frame/RunWorker.h"
#include "itunes/PasscodeDlg.h"

namespace {

class DialogStep : public ActionStep
{
public:
    explicit DialogStep(QWidget* parent)
        : form(QString(), parent)
    {
    }

    WorkerReport& report() override { return form; }
    WorkerOutcome run(QThread& worker) override { return runWorker(worker, form); }

private:
    ProgressForm form;
};

} // namespace

DialogFrontEnd::DialogFrontEnd(QWidget* parent)
    : parent(parent)
{
}

std::unique_ptr<ActionStep> DialogFrontEnd::newStep()
{
    return std::make_unique<DialogStep>(parent);
}

void DialogFrontEnd::refuse(const QString& text, const QString& picture)
{
    showWarning(picture.isEmpty() ? text : QStringLiteral("%1<br/><br/><img src=\"%2\"/>").arg(text, picture));
}

void DialogFrontEnd::fail(const QString& text)
{
    showError(text);
}

bool DialogFrontEnd::ask(const QString& question)
{
    return askYesNo(question);
}

void DialogFrontEnd::inform(const QString& text)
{
    showInfo(text);
}

bool DialogFrontEnd::unlock(BackupManifest& manifest)
{
    PasscodeDlg dialog(&manifest, parent);
    return dialog.exec() == QDialog::Accepted;
}
