#pragma once

#include <QString>

// The common program files folder: $CommonProgramFiles when set, else the folder fixed
// when the program was built (the build tree's stand-in device libraries).
QString commonProgramFilesFolder();
