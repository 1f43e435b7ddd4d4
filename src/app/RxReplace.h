#pragma once

#include <QRegularExpression>
#include <QString>
#include <functional>

// Replaces every match of rx in text by what fn returns for it. Matches do not overlap, the
// replacements are not scanned again, and an empty match cannot stall the scan. Never throws.
QString rx_replace(const QString& text, const QRegularExpression& rx,
    QString (*fn)(void* context, const QRegularExpressionMatch& match), void* context);

// The same with any callable.
QString rx_replace(const QString& text, const QRegularExpression& rx,
    const std::function<QString(const QRegularExpressionMatch& match)>& fn);
