#pragma once

#include <QTranslator>

// The English translation of the program's IDS_ keys. Every key lives once in the empty context,
// so a lookup that finds nothing under the calling class's context falls back to it.
class IdsTranslator : public QTranslator
{
    Q_OBJECT
public:
    explicit IdsTranslator(QObject* parent = nullptr);

    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                      int n = -1) const override;
};
