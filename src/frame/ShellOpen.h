#pragma once

#include <QString>

// Shows a folder (or the folder holding a file) in the desktop's file manager.
void openInExplorer(const QString& path);
// Lets the desktop open a web address, a file or a folder with its usual program.
void shellOpen(const QString& target);
