#pragma once

#include <QString>

// Copies the companion app package out of the resources into the data folder, replacing
// an older copy, readable and writable by the user only; returns its absolute path.
QString copyCompanionPackage();
