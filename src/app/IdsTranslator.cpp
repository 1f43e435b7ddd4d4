#include "app/IdsTranslator.h"

IdsTranslator::IdsTranslator(QObject* parent) : QTranslator(parent) {}

QString IdsTranslator::translate(const char* context, const char* sourceText, const char* disambiguation,
                                 int n) const
{
    QString text = QTranslator::translate(context, sourceText, disambiguation, n);
    if (text.isEmpty() && context && *context)
        text = QTranslator::translate("", sourceText, disambiguation, n);
    return text;
}
