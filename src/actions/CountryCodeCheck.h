#pragma once

#include <QString>

// Whether a phone's mobile country code names a country of the country database, so that
// its numbers can be written in international form without asking the user. A code the
// database cannot be asked about counts as known: the chooser would have no list either.
bool isCountryCodeKnown(const QString& mcc);
