#include "frame/MessageBox.h"

#include "frame/ErrorReport.h"
#include "frame/StyleSheet.h"
#include "frame/WinMovable.h"

#include <QIcon>
#include <QPushButton>

#include <cstdio>

namespace {

constexpr char supportAddress[] = "support@veltrominex.example";

constexpr QMessageBox::StandardButton buttonOrder[] = {QMessageBox::Yes, QMessageBox::No, QMessageBox::Ok,
                                                       QMessageBox::Cancel};

bool headlessBoxes = false;

const char* iconName(QMessageBox::Icon icon)
{
    switch (icon) {
    case QMessageBox::Information:
        return "information";
    case QMessageBox::Warning:
        return "warning";
    case QMessageBox::Question:
        return "question";
    case QMessageBox::Critical:
        return "error";
    case QMessageBox::NoIcon:
        break;
    }
    return "message";
}

int answerHeadless(QMessageBox::Icon icon, const QString& text, int buttons)
{
    std::fprintf(stderr, "%s: %s\n", iconName(icon), text.toLocal8Bit().constData());
    std::fflush(stderr);
    for (QMessageBox::StandardButton button : buttonOrder) {
        if (buttons & button)
            return button;
    }
    return QMessageBox::NoButton;
}

void showErrorBox(const QString& shownText, const QString& reportedText)
{
    showMessageBox(QMessageBox::Critical, shownText, QMessageBox::Ok);
    if (!headlessBoxes)
        sendErrorReport(reportedText);
}

} // namespace

int showMessageBox(QMessageBox::Icon icon, const QString& text, int buttons)
{
    if (headlessBoxes)
        return answerHeadless(icon, text, buttons);

    QMessageBox box(icon, QObject::tr("Veltrominex Message Transfer"), text, QMessageBox::NoButton, nullptr,
                    Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    WinMovable movable(&box);
    box.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    box.setStyleSheet(appStyleSheet());
    // Guessed from the text, the format would make escaped outside text show its entities
    // whenever the rest of the text looks plain.
    box.setTextFormat(Qt::RichText);
    for (QMessageBox::StandardButton button : buttonOrder) {
        // Some desktop themes put icons on dialog buttons; ours are plain styled text buttons.
        if (buttons & button)
            box.addButton(button)->setIcon(QIcon());
    }
    return box.exec();
}

void showInfo(const QString& text)
{
    showMessageBox(QMessageBox::Information, text, QMessageBox::Ok);
}

void showWarning(const QString& text)
{
    showMessageBox(QMessageBox::Warning, text, QMessageBox::Ok);
}

bool askYesNo(const QString& text)
{
    return showMessageBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void showError(const QString& text)
{
    const QString wrapped =
        QStringLiteral("An Error Occurred. <br/><br/>%1<br/><br/> Or you can contact %2 for help.")
            .arg(text, QLatin1String(supportAddress));
    showErrorBox(wrapped, text);
}

void showErrorText(const QString& text)
{
    showErrorBox(text, text);
}

void setHeadlessMessageBoxes(bool headless)
{
    headlessBoxes = headless;
}
