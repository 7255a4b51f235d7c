#pragma once

#include <QString>

// The application style sheet from the resource ":style.css", read once and kept; empty
// (the toolkit's default look) when the resource cannot be read. GUI thread only.
QString appStyleSheet();
