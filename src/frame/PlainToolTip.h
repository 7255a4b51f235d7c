#pragma once

#include <QString>

// A tool tip that shows text exactly as it is. A tool tip is rich text whenever its text
// looks like markup, and rich text loads the images it names: a message's text, a
// contact's or a device's name must never be read that way. Empty for an empty text, so
// that no empty tip appears.
QString plainToolTip(const QString& text);
