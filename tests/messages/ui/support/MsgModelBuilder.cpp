#include "messages/ui/support/MsgModelBuilder.h"

#include "app/ui/shared/ProgressForm.h"
#include "messages/ui/ExportMessagesThread.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

_MsgHandle* MsgModelBuilder::handle(const QString& id, const QString& name)
{
    auto* h = new _MsgHandle;
    h->rowid = m_next++;
    h->id = id;
    h->_ct_name = name;
    data.p()->handles.insert(h->rowid, h);
    return h;
}

_MsgChat* MsgModelBuilder::chat(
    const QString& identifier, const QList<_MsgHandle*>& handles, const QString& displayName, int last)
{
    auto* c = new _MsgChat;
    c->rowid = m_next++;
    c->guid = "SMS;-;" + identifier;
    c->chat_identifier = identifier;
    c->display_name = displayName;
    c->_last = last;
    for (_MsgHandle* h : handles)
        c->_handles.insert(QString::number(h->rowid), h);
    data.p()->chats.insert(c->rowid, c);
    return c;
}

_MsgMessage* MsgModelBuilder::message(
    _MsgChat* chat, _MsgHandle* sender, int date, const QString& text, bool fromMe)
{
    auto* m = new _MsgMessage;
    m->rowid = m_next++;
    m->_sort_rowid = m->rowid;
    m->guid = QString("G-%1").arg(m->rowid);
    m->text = text;
    m->date = date;
    m->is_from_me = fromMe ? 1 : 0;
    m->_chat = chat;
    m->_sender = sender;
    if (chat)
        chat->_messages.insert(QString::number(m->rowid), m);
    data.p()->messages.insert(m->rowid, m);
    m_messages << m;
    return m;
}

_MsgAttachment* MsgModelBuilder::attach(_MsgMessage* message, const QString& path, const QString& mime)
{
    auto* a = new _MsgAttachment;
    a->rowid = m_next++;
    a->guid = QString("A-%1").arg(a->rowid);
    a->_path = path;
    a->mime_type = mime;
    a->filename = path;
    message->_attachments.insert(QString::number(a->rowid), a);
    data.p()->attachments.insert(a->rowid, a);
    return a;
}

QByteArray runTool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QByteArray();
    return p.readAllStandardOutput();
}

QByteArray runExportChecker(const QStringList& args, QString* error)
{
    const QString python = QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    QProcess p;
    p.start(python,
        QStringList { QString::fromUtf8(QM_SOURCE_DIR) + "/tests/messages/ui/support/check_export.py" }
            + args);
    if (!p.waitForFinished(300000) || p.exitCode() != 0) {
        if (error)
            *error = QString::fromUtf8(p.readAllStandardError());
        return QByteArray();
    }
    return p.readAllStandardOutput();
}

ExportRun runExport(const QList<_MsgMessage*>& messages, const QString& path, int type, bool cancelFirst)
{
    ExportRun run;
    ProgressForm form;
    form.setQuiet(true);
    ExportMessagesThread thread(messages, path, ExportMessagesThread::FormatType(type), form);
    if (cancelFirst) {
        form.cancelled = true;
        thread.start();
        thread.wait();
    } else {
        thread.start();
        run.result = form.exec();
        thread.wait();
    }
    QCoreApplication::processEvents();
    run.text = form.resultText();
    run.detail = form.detailText();
    run.percent = form.progressValue();
    run.written = thread.writtenFiles();
    return run;
}
