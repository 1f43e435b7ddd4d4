#include "app/RxReplace.h"

QString rx_replace(const QString& text, const QRegularExpression& rx,
    const std::function<QString(const QRegularExpressionMatch& match)>& fn)
{
    if (!rx.isValid())
        return text;
    QString result;
    result.reserve(text.size());
    qsizetype last = 0;
    // Global matching moves past empty matches by itself, so the scan always ends.
    QRegularExpressionMatchIterator it = rx.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const qsizetype start = match.capturedStart(0);
        if (start < last)
            continue;
        result += QStringView(text).mid(last, start - last);
        if (fn)
            result += fn(match);
        last = match.capturedEnd(0);
    }
    result += QStringView(text).mid(last);
    return result;
}

QString rx_replace(const QString& text, const QRegularExpression& rx,
    QString (*fn)(void* context, const QRegularExpressionMatch& match), void* context)
{
    if (!fn)
        return rx_replace(text, rx, std::function<QString(const QRegularExpressionMatch&)>());
    return rx_replace(text, rx, [fn, context](const QRegularExpressionMatch& m) { return fn(context, m); });
}
