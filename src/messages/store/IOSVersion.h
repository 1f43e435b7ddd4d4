#pragma once

#include <QList>
#include <QString>

// A dotted version number such as an iOS version: every run of digits in the text, in order.
class _IOSVersion
{
public:
    explicit _IOSVersion(const QString& text);

    // Negative, zero or positive as this version is lower than, equal to or higher than other.
    int compare(const _IOSVersion& other) const;
    QString toString() const;

    QList<int> _parts;
};
