#include "frame/EnglishTexts.h"

#include <QCoreApplication>
#include <QTranslator>

void installEnglishTexts(QCoreApplication& app)
{
    auto* english = new QTranslator(&app);
    (void)english->load(QStringLiteral(":/en.qm"), QString(), QString(), QString());
    QCoreApplication::installTranslator(english);
}
