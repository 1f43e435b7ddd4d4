#include "messages/ui/BackupMMSThread.h"

#include "app/CountText.h"
#include "app/ui/shared/ProgressForm.h"
#include "messages/store/MsgMessage.h"
#include "messages/ui/ExportMessagesDb.h"
#include "messages/ui/NotAsWrittenAttachments.h"

#include <QElapsedTimer>
#include <exception>
#include <memory>

namespace
{
constexpr qint64 kProgressMs = 40;
// Attachment files that could not be copied named in the result at most.
constexpr int kFailedNamed = 5;
} // namespace

BackupMMSThread::BackupMMSThread(const QDir& folder, const _CountryInfo& country,
    const QList<_MsgMessage*>& messages, ProgressForm& form, QObject* parent)
    : QThread(parent)
    , m_folder(folder)
    , m_country(country)
    , m_messages(messages)
    , m_form(form)
{
    // Oldest first, so the rowids of new rows rise with their dates.
    sortMsgMessages(m_messages, true);
}

void BackupMMSThread::run()
{
    try {
        saveThrow();
    } catch (const std::exception& e) {
        m_form.invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}

void BackupMMSThread::saveThrow()
{
    m_form.invokeUpdateProgress(tr("IDS_BACKING_UP_MESSAGES"), 0, QString());
    ExportMessagesDb exporter(m_folder, m_country);
    const int n = m_messages.size();
    const QString status = tr("IDS_BACKING_UP_MMS");
    // The form repaints far less often than messages are written: it hears of the count every few
    // hundredths of a second, and always of the first and the last message.
    QElapsedTimer sinceShown;
    sinceShown.start();
    int i = 0;
    try {
        exporter.init();
        for (_MsgMessage* m : m_messages) {
            if (m_form.cancelled)
                throw -1;
            ++i;
            if (i == 1 || i == n || sinceShown.elapsed() >= kProgressMs) {
                m_form.invokeUpdateProgress(status, int(double(i) / n * 100), tr("SMS: %1/%2").arg(i).arg(n));
                sinceShown.restart();
            }
            exporter.write(*m);
        }
        exporter.uninit();
    } catch (int) {
        exporter.abandon(); // cancel: the transaction is dropped, nothing reported
        return;
    } catch (...) {
        exporter.abandon();
        throw;
    }
    m_saved = true;
    NotAsWrittenAttachments damaged;
    damaged.addMarkedOf(m_messages);
    if (damaged.isEmpty())
        m_form.invokeSucceed(successText(exporter.failedCopies(), i));
    else
        m_form.invokeErrorOccurred(notAsWrittenText(damaged, exporter.failedCopies(), i));
}

// The heading of the attachments that could not be copied into the store.
QString BackupMMSThread::failedHeading(qint64 n)
{
    return CountText::of(n, tr("IDS_SAVE_ATTACHMENTS_FAILED_1"), tr("IDS_SAVE_ATTACHMENTS_FAILED_%1"));
}

QString BackupMMSThread::successText(const QStringList& failed, int saved) const
{
    QString text = tr("IDS_SUC_BACKUP_%1_MMS").arg(saved);
    if (failed.isEmpty())
        return text;
    QStringList named; // each escaped, not the line breaks between them
    for (const QString& name : failed.mid(0, kFailedNamed))
        named << name.toHtmlEscaped();
    return text + QStringLiteral("<br/><br/>") + failedHeading(failed.size()) + QStringLiteral("<br/>")
        + named.join(QStringLiteral("<br/>"));
}

QString BackupMMSThread::notAsWrittenText(
    const NotAsWrittenAttachments& damaged, const QStringList& failed, int saved) const
{
    // The store holds the messages and these attachments' bytes: a half picture is kept rather
    // than none, but the save is no success.
    QStringList lines { damaged.text(
        CountText::of(saved, QStringLiteral("1 Message was saved, with those attachments as they are."),
            QStringLiteral("%1 Messages were saved, with those attachments as they are."))) };
    if (!failed.isEmpty())
        lines << failedHeading(failed.size()) << failed.mid(0, kFailedNamed);
    return lines.join(QLatin1Char('\n'));
}
