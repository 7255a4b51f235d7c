#pragma once

class QCoreApplication;

// Installs the English texts of the IDS_ keys and of the forms (":/en.qm") for as long as
// app lives. Without them the keys themselves are shown; nothing else is lost.
void installEnglishTexts(QCoreApplication& app);
