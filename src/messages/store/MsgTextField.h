#pragma once

#include <QString>

// The stored text of a message. It is the column value itself (a QString, U+FFFC placeholders
// included), and calling it, as in msg.text(), gives the text without those placeholders, so the
// column and the derived text keep the same name as in the database.
class MsgTextField : public QString
{
public:
    MsgTextField() = default;
    MsgTextField(const QString& s) : QString(s) {}
    MsgTextField(QString&& s) : QString(std::move(s)) {}
    MsgTextField(const char* s) : QString(QString::fromUtf8(s)) {}
    MsgTextField& operator=(const QString& s)
    {
        QString::operator=(s);
        return *this;
    }
    MsgTextField& operator=(const char* s)
    {
        QString::operator=(QString::fromUtf8(s));
        return *this;
    }
    MsgTextField& operator=(QString&& s)
    {
        QString::operator=(std::move(s));
        return *this;
    }

    // The text with every U+FFFC removed; nothing else changes.
    QString operator()() const;
};
