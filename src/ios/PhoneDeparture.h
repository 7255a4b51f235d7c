#pragma once

#include <QString>

// A step that talks to a phone fails in its own words (a broken stream, a tool's error)
// when the phone is unplugged under it; the user is told what happened instead.

// The text shown for a step whose phone left.
QString departedPhoneText();
// stepText while the phone behind the handle still answers a connection; otherwise
// departedPhoneText(). Asks the library only when called: call it on failure only.
QString phoneFailureText(void* device, const QString& stepText);
