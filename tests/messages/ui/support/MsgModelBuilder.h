#pragma once

#include "messages/store/MsgData.h"

#include <QList>
#include <QString>
#include <QStringList>

// Builds a small message model in memory for the export tests; every record is owned by `data`.
class MsgModelBuilder
{
public:
    _MsgHandle* handle(const QString& id, const QString& name = QString());
    // A chat over the given handles; `last` is its last date (seconds since 2001).
    _MsgChat* chat(const QString& identifier, const QList<_MsgHandle*>& handles,
        const QString& displayName = QString(), int last = 0);
    // A message of chat (may be null) from sender (null for none) at date, in creation order.
    _MsgMessage* message(
        _MsgChat* chat, _MsgHandle* sender, int date, const QString& text, bool fromMe = false);
    _MsgAttachment* attach(_MsgMessage* message, const QString& path, const QString& mime);

    QList<_MsgMessage*> messages() const { return m_messages; }

    MsgData data;

private:
    qint64 m_next = 1;
    QList<_MsgMessage*> m_messages;
};

// What one export run through ExportMessagesThread ended with.
struct ExportRun {
    int result = -1; // the progress dialog's exec() result; -1 when cancelled before it ran
    QString text; // the success or error text
    QString detail; // the last progress detail
    int percent = 0;
    QStringList written;
};
// Runs the export thread with a quiet progress dialog, the way the message page does. With
// cancelFirst the cancel flag is set before the thread starts, and the dialog is not run.
ExportRun runExport(
    const QList<_MsgMessage*>& messages, const QString& path, int type, bool cancelFirst = false);

// Runs tests/messages/ui/support/check_export.py with the arguments; returns its standard output
// (JSON), or an empty text with the reason in error.
QByteArray runExportChecker(const QStringList& args, QString* error = nullptr);
// Runs a program; its standard output, or empty when it fails.
QByteArray runTool(const QString& program, const QStringList& args);
