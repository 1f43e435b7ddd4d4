#pragma once

#include <QByteArray>
#include <QString>

// Identifier of a group conversation made from a text: "chat" and 18 digits, the same for the same text.
QString genChatIdentifier(const QString& text);
// A new random guid: 36 upper-case hex characters in groups 8-4-4-4-12.
QString genUUID();
// A repeatable guid: the MD5 digest of the bytes, upper-case hex in groups 8-4-4-4-12.
QString hashUUID(const QByteArray& bytes);
