#pragma once

#include "app/AbsFormatExport.h"
#include "app/FittedNames.h"
#include "app/MadeFiles.h"
#include "app/MadeFolders.h"
#include "messages/ui/ExportFilesFolder.h"
#include "messages/ui/UnreadAttachments.h"

#include <QList>
#include <QString>
#include <QThread>
#include <memory>

class ProgressForm;
class _MsgMessage;
class _MsgChat;

// Writes a list of messages to disk in one format while a ProgressForm shows the progress: one
// text or CSV file, a message database folder, or one PDF or HTML page per conversation (HTML with
// its folder of bubble pictures and attachments, see ExportFilesFolder). Cancel or failure removes what
// this export made, and only that. Attachments of the exported messages whose copies are not what
// the phone wrote are counted and named when the export is written, which then ends with an error;
// no preview is drawn from them; so does a database export whose attachment files could not all be
// copied, naming them with why. An attachment a PDF or HTML page could not read for its bubble
// costs only that bubble, which says why: the export writes the rest and ends with an error naming
// it. The folder of pages is held from its making (see MadeFolders): moved or swapped for a link
// meanwhile, it gets nothing more, and the export fails. A page or an attachment copy whose name the
// disk refuses is written under one fitted to it (see OutputFile::setFitName), told at the end; an
// attachment the disk takes no name for is named as not copied.
class ExportMessagesThread : public QThread
{
    Q_OBJECT
public:
    enum FormatType : int { Txt = 0, Csv = 1, Pdf = 2, Html = 3, Db = 4 };

    // path is the output file (Txt, Csv) or the output folder (Pdf, Html, Db). The records stay
    // owned by the caller's model and must outlive the thread.
    ExportMessagesThread(const QList<_MsgMessage*>& messages, QString path, FormatType type,
        ProgressForm& form, QObject* parent = nullptr);

    // The names of the files written, in order (pages and single files; not attachment copies).
    QStringList writtenFiles() const { return m_written; }

protected:
    void run() override;

private:
    void takeBack();
    // The messages of one conversation: those whose chats share a chat identifier (any case).
    struct Conversation {
        _MsgChat* chat = nullptr; // the chat of its first message after sorting
        int last = 0; // newest last date of its chats
        QString key;
        QList<_MsgMessage*> messages;
    };

    int exportSingle(); // Txt, Csv, Db
    // Csv: half the lines are made on a second thread while this one makes and writes the rest.
    int exportCsv();
    int exportPerConversation(); // Pdf, Html
    // Completes the file of one conversation and notes the attachments it could not read.
    void finishPage(AbsFormatExport<_MsgMessage>& exporter, const QString& name);
    QList<Conversation> conversations() const;
    std::unique_ptr<AbsFormatExport<_MsgMessage>> makeSingleExporter();
    void prepareHtmlFiles();
    void step(int count, int total);
    // The text of the attachments not what the phone wrote, of those not read and of the attachment
    // files not copied, or empty when there are none.
    QString notAsWrittenText(int exported) const;

    QList<_MsgMessage*> m_messages;
    QString m_path;
    FormatType m_type;
    ProgressForm& m_form;
    QStringList m_written;
    QStringList m_failedCopies; // of a database export, or of HTML pages: each "<file>: <why>"
    UnreadAttachments m_unread; // of the pages
    FittedNames m_fitted; // files written under names the disk takes, as it refused their own
    MadeFolders m_made; // the folder of pages and those above it that the export made
    MadeFiles m_madeFiles; // the pages and copies written where nothing stood
    ExportFilesFolder m_files; // of HTML pages: what they link
    HeldFolder m_held; // the folder of pages
    int m_lastPercent = -1;
    qint64 m_lastReportMs = 0;
};
