#pragma once

#include <QMessageBox>
#include <QString>

// The application's message boxes: modal, frameless, draggable and styled. GUI thread
// only; workers report through ProgressForm instead. Every text is markup, always shown
// as rich text: our own words with their "<br/>" and links, and outside text (names,
// paths, errorMarkup of an exception) escaped where the caller puts it in.

// buttons is a mask of QMessageBox::Yes, No, Ok and Cancel (other buttons are ignored),
// added in that order. Returns the standard button that closed the box.
int showMessageBox(QMessageBox::Icon icon, const QString& text, int buttons);
void showInfo(const QString& text);
void showWarning(const QString& text);
// False also when the box is closed with Escape.
bool askYesNo(const QString& text);
// Shows text inside the fixed wording of the error box, then reports the bare text.
void showError(const QString& text);
// Shows text unchanged, then reports it.
void showErrorText(const QString& text);

// For runs without a person (msgtool, tests of workers). While set, no box is shown:
// each box writes its text to stderr and answers with its default button, the first it
// offers of Yes, No, Ok, Cancel; error boxes post no report.
void setHeadlessMessageBoxes(bool headless);
