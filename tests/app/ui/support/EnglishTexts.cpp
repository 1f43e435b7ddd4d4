#include "app/ui/support/EnglishTexts.h"

#include "app/IdsTranslator.h"

#include <QCoreApplication>
#include <QtTest>

void installEnglishTexts(IdsTranslator& translator)
{
    QVERIFY(translator.load(":/en.qm"));
    QCoreApplication::installTranslator(&translator);
}
