#include "messages/ui/ExportMessagesThread.h"

#include "app/CountText.h"
#include "app/DataPaths.h"
#include "app/MadeFolders.h"
#include "app/OutputFile.h"
#include "app/ui/shared/ProgressForm.h"
#include "messages/store/MsgChat.h"
#include "messages/store/MsgMessage.h"
#include "messages/store/OrderedHandOff.h"
#include "messages/ui/ExportFileNames.h"
#include "messages/ui/ExportMessagesCsv.h"
#include "messages/ui/ExportMessagesDb.h"
#include "messages/ui/ExportMessagesHtml.h"
#include "messages/ui/ExportMessagesPdf.h"
#include "messages/ui/ExportMessagesTxt.h"
#include "messages/ui/NotAsWrittenAttachments.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QScopeGuard>
#include <algorithm>
#include <stdexcept>

namespace
{
// Between two progress reports of the same percentage at least this long, so that a large export
// does not flood the dialog with queued updates.
constexpr qint64 kReportIntervalMs = 100;

// Attachment files not copied that are named at most; the count tells the rest.
constexpr qsizetype kFailedNamed = 10;

// Messages whose CSV lines are made together, on one thread or the other.
constexpr qsizetype kCsvBlock = 2048;
// Blocks of lines the second thread may have made ahead of the writing.
constexpr int kCsvBlocksAhead = 4;

// The CSV lines of one block of messages.
QString csvLines(const QList<_MsgMessage*>& messages, qsizetype block, ExportLocalTime& time)
{
    QString text;
    const qsizetype end = qMin(messages.size(), (block + 1) * kCsvBlock);
    for (qsizetype i = block * kCsvBlock; i < end; ++i)
        text += ExportMessagesCsv::line(*messages[i], time);
    return text;
}

// The file name stem of a conversation: a group by its identifier, another chat by its name. A name
// with a NUL in it is no name (a blob a damaged or crafted row holds): such a chat goes by its
// identifier, as a group does.
QString conversationStem(const _MsgChat* chat)
{
    if (!chat)
        return QStringLiteral("unknown-chat");
    const QString name = chat->displayName(true);
    QString stem
        = g_formatFileName(chat->isGroup() || name.contains(QChar(0)) ? chat->chat_identifier : name);
    // No hidden files: a leading dot goes.
    while (stem.startsWith('.'))
        stem.remove(0, 1);
    return stem.isEmpty() ? QStringLiteral("unknown-chat") : stem;
}
} // namespace

ExportMessagesThread::ExportMessagesThread(
    const QList<_MsgMessage*>& messages, QString path, FormatType type, ProgressForm& form, QObject* parent)
    : QThread(parent)
    , m_messages(messages)
    , m_path(std::move(path))
    , m_type(type)
    , m_form(form)
{
}

void ExportMessagesThread::run()
{
    m_form.invokeUpdateProgress(tr("IDS_EXPORTING_MESSAGES_TO_FILE"), -1, QString());
    try {
        const int count = (m_type == Pdf || m_type == Html) ? exportPerConversation() : exportSingle();
        // What was written stays: the messages are all there, only those attachments are not.
        const QString damaged = notAsWrittenText(count);
        QString done = tr("IDS_SUC_EXPORT_%1_MMS").arg(count);
        if (m_type == Pdf || m_type == Html)
            done += QLatin1Char('\n')
                + tr("IDS_EXPORTED_PAGES_IN_%1").arg(QDir::toNativeSeparators(m_held.path()));
        if (damaged.isEmpty())
            m_form.invokeSucceed(m_fitted.after(done));
        else
            m_form.invokeErrorOccurred(m_fitted.after(damaged));
    } catch (int) {
        takeBack();
    } catch (const std::exception& e) {
        takeBack();
        m_form.invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}

// What a failed or cancelled export made goes, each file only while it is still the one made, each
// folder only once it holds nothing: what another program saved there meanwhile stays.
void ExportMessagesThread::takeBack()
{
    m_madeFiles.takeBack();
    m_made.removeEmpty();
}

int ExportMessagesThread::exportSingle()
{
    sortMsgMessages(m_messages);
    if (m_type == Csv)
        return exportCsv();
    const int total = int(m_messages.size());
    std::unique_ptr<AbsFormatExport<_MsgMessage>> exporter;
    int count = 0;
    // A store the run began, and the copies and folders made for it, go as the run fails.
    auto abandoned = qScopeGuard([&] {
        if (auto* db = dynamic_cast<ExportMessagesDb*>(exporter.get()))
            db->abandon();
    });
    for (_MsgMessage* m : std::as_const(m_messages)) {
        if (m_form.cancelled)
            throw -1;
        step(++count, total);
        if (!exporter) {
            exporter = makeSingleExporter();
            exporter->init();
            m_written << m_path;
        }
        exporter->write(*m);
    }
    if (exporter)
        exporter->uninit();
    abandoned.dismiss();
    if (const auto* db = dynamic_cast<const ExportMessagesDb*>(exporter.get()))
        m_failedCopies = db->failedCopies();
    return count;
}

// The lines are made a block of messages at a time: the odd blocks on a second thread, the even
// ones here; everything is written here, in order, with progress and cancel per message.
int ExportMessagesThread::exportCsv()
{
    const qsizetype blocks = (m_messages.size() + kCsvBlock - 1) / kCsvBlock;
    std::unique_ptr<ExportMessagesCsv> exporter;
    int count = 0;
    const auto write = [&](qsizetype block, const QString& lines) {
        const qsizetype end = qMin(m_messages.size(), (block + 1) * kCsvBlock);
        for (qsizetype i = block * kCsvBlock; i < end; ++i) {
            if (m_form.cancelled)
                throw -1;
            step(++count, int(m_messages.size()));
            if (!exporter) {
                exporter = std::make_unique<ExportMessagesCsv>(m_path);
                exporter->init();
                m_written << m_path;
            }
        }
        exporter->writeLines(lines);
    };
    ExportLocalTime mine, theirs; // one per thread
    OrderedHandOff<QString>(kCsvBlocksAhead)
        .run(
            blocks / 2, [&](qint64 i) { return csvLines(m_messages, 2 * i + 1, theirs); },
            [&](qint64 i, QString& odd) {
                write(2 * i, csvLines(m_messages, 2 * i, mine));
                write(2 * i + 1, odd);
                return true;
            });
    if (blocks % 2)
        write(blocks - 1, csvLines(m_messages, blocks - 1, mine));
    if (exporter)
        exporter->uninit();
    return count;
}

std::unique_ptr<AbsFormatExport<_MsgMessage>> ExportMessagesThread::makeSingleExporter()
{
    switch (m_type) {
    case Txt:
        return std::make_unique<ExportMessagesTxt>(m_path);
    case Csv:
        return std::make_unique<ExportMessagesCsv>(m_path);
    case Db:
        return std::make_unique<ExportMessagesDb>(QDir(m_path), _CountryInfo());
    default:
        throw std::runtime_error("not support export format.");
    }
}

int ExportMessagesThread::exportPerConversation()
{
    QString why;
    if (!m_made.makeDestination(m_path, &why))
        throw std::runtime_error(why.toStdString());
    m_held = m_made.destination();
    const QList<Conversation> list = conversations();
    const int total = int(m_messages.size());
    const QString ext = m_type == Pdf ? QStringLiteral(".pdf") : QStringLiteral(".html");
    ExportFileNames names(m_held);
    int count = 0;
    for (const Conversation& conversation : list) {
        std::unique_ptr<AbsFormatExport<_MsgMessage>> exporter;
        QString name;
        for (_MsgMessage* m : conversation.messages) {
            if (m_form.cancelled)
                throw -1;
            step(++count, total);
            if (!exporter) {
                if (m_type == Html && count == 1)
                    prepareHtmlFiles();
                name = names.take(conversationStem(conversation.chat), ext);
                if (m_type == Pdf)
                    exporter = std::make_unique<ExportMessagesPdf>(m_held, name);
                else
                    exporter = std::make_unique<ExportMessagesHtml>(m_held, name, false);
                if (auto* html = dynamic_cast<ExportMessagesHtml*>(exporter.get())) {
                    html->noteMadeInto(&m_madeFiles);
                    html->useFilesFolder(m_files.folder(), m_files.name());
                }
                exporter->init();
                m_written << m_held.filePath(name);
            }
            exporter->write(*m);
        }
        if (exporter)
            finishPage(*exporter, name);
    }
    return count;
}

// Ends a page, and notes for the closing text its attachments not read, the page put under a name
// fitted to the disk, and the attachments of an HTML page put so or not copied.
void ExportMessagesThread::finishPage(AbsFormatExport<_MsgMessage>& exporter, const QString& name)
{
    exporter.uninit();
    QString placed = name;
    if (const auto* html = dynamic_cast<const ExportMessagesHtml*>(&exporter)) {
        m_unread.add(html->unreadAttachments());
        placed = html->placedName();
        m_fitted.add(html->fittedAttachments());
        m_failedCopies << html->failedCopies();
    } else if (const auto* pdf = dynamic_cast<const ExportMessagesPdf*>(&exporter)) {
        m_unread.add(pdf->unreadAttachments());
        placed = pdf->placedName();
    }
    m_madeFiles.note(m_held, placed); // at a free name: nothing of others stood there
    if (placed == name)
        return;
    m_fitted.add(m_held.filePath(name), placed);
    m_written.last() = m_held.filePath(placed);
}

QList<ExportMessagesThread::Conversation> ExportMessagesThread::conversations() const
{
    QList<Conversation> list;
    QHash<QString, qsizetype> index;
    QHash<const _MsgChat*, qsizetype> ofChat; // the same, found by the chat without its key text
    for (_MsgMessage* m : m_messages) {
        auto known = ofChat.constFind(m->_chat);
        if (known == ofChat.constEnd()) {
            // Messages without a chat form one conversation of their own.
            const QString key = m->_chat ? QStringLiteral("c:") + m->_chat->chat_identifier.toLower()
                                         : QStringLiteral("n:");
            auto it = index.find(key);
            if (it == index.end()) {
                it = index.insert(key, list.size());
                list.append(Conversation());
                list.back().key = key;
            }
            known = ofChat.insert(m->_chat, *it);
        }
        Conversation& c = list[*known];
        c.messages.append(m);
        if (m->_chat)
            c.last = std::max(c.last, m->_chat->_last);
    }
    // Oldest conversation first; equal dates by identifier, so the order is strict.
    std::sort(list.begin(), list.end(), [](const Conversation& a, const Conversation& b) {
        return a.last != b.last ? a.last < b.last : a.key < b.key;
    });
    for (Conversation& c : list) {
        sortMsgMessages(c.messages);
        c.chat = c.messages.first()->_chat;
    }
    return list;
}

void ExportMessagesThread::prepareHtmlFiles()
{
    m_files = ExportFilesFolder::takeThrow(m_made, m_madeFiles);
}

void ExportMessagesThread::step(int count, int total)
{
    const int percent = int(double(count) / double(total) * 100);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (percent == m_lastPercent && count != total && now - m_lastReportMs < kReportIntervalMs)
        return;
    m_lastPercent = percent;
    m_lastReportMs = now;
    m_form.invokeUpdateProgress(QString(), percent, tr("Messages: %1/%2").arg(count).arg(total));
}

QString ExportMessagesThread::notAsWrittenText(int exported) const
{
    NotAsWrittenAttachments damaged;
    damaged.addMarkedOf(m_messages);
    QStringList lines;
    if (!m_failedCopies.isEmpty())
        lines << CountText::listed(m_failedCopies.size(),
            QStringLiteral("1 attachment file could not be copied:"),
            QStringLiteral("%1 attachment files could not be copied:"), m_failedCopies.mid(0, kFailedNamed));
    if (!m_unread.isEmpty())
        lines << m_unread.text();
    if (lines.isEmpty() && damaged.isEmpty())
        return QString();
    lines << QStringLiteral("%1 Messages were exported.").arg(exported);
    return damaged.isEmpty() ? lines.join(QLatin1Char('\n')) : damaged.text(lines.join(QLatin1Char('\n')));
}
