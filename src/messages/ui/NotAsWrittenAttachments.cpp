#include "messages/ui/NotAsWrittenAttachments.h"

#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgMessage.h"

void NotAsWrittenAttachments::add(const _MsgAttachment& a, const QString& name)
{
    if (!a._notAsWritten.isEmpty())
        m_marked.add(QStringLiteral("%1: %2").arg(name.isEmpty() ? fileNameOf(a) : name, a._notAsWritten));
}

void NotAsWrittenAttachments::addMarkedOf(const QList<_MsgMessage*>& messages)
{
    for (const _MsgMessage* m : messages) {
        if (m->_attachments.isEmpty())
            continue; // most messages: no sorted list to build
        for (const _MsgAttachment* a : m->attachments())
            add(*a);
    }
}

QString NotAsWrittenAttachments::text(const QString& closing) const
{
    if (isEmpty())
        return QString();
    QStringList lines = m_marked.lines(QStringLiteral("1 of the attachments is not what the phone wrote:"),
        QStringLiteral("%1 of the attachments are not what the phone wrote:"));
    lines << closing;
    return lines.join(QLatin1Char('\n'));
}

QString NotAsWrittenAttachments::fileNameOf(const _MsgAttachment& a)
{
    return a.filename.section(QLatin1Char('/'), -1);
}
