#pragma once

#include "app/AbsFormatExport.h"
#include "app/OutputFile.h"
#include "messages/ui/ExportLocalTime.h"

#include <QFile>
#include <QString>
#include <QTextStream>
#include <optional>

class _MsgAttachment;
class _MsgMessage;

// One conversation as one XHTML page of bubbles, like the conversation view but on a single page.
// Attachments (and image thumbnails) are copied into the folder "files" beside the page, which
// also holds the bubble style sheet and pictures, so the export folder can be moved as a whole.
class ExportMessagesHtml : public AbsFormatExport<_MsgMessage>
{
public:
    // The page is fileName inside dir; "files" is made inside dir by init().
    ExportMessagesHtml(const HeldFolder& dir, const QString& fileName, bool labelAllSenders);

    void init() override;
    void write(_MsgMessage& message) override;
    void uninit() override;

    // Copies a file into "files" under its own name, or a numbered variant of it when that is
    // taken, and returns the name of the copy.
    QString saveAttaFile(const QString& path);

private:
    QString messageHtml(const _MsgMessage& m);
    QString senderText(const _MsgMessage& m) const;
    QString dateLine(const _MsgMessage& m);
    std::optional<QString> attachmentContent(const _MsgAttachment& a);
    // "files" inside the page's folder, made the first time it is needed.
    const HeldFolder& filesFolderThrow();
    // Throws when the page could not be written (flush: after writing out the buffers).
    void checkWritten(bool flush = false);

    int m_lastDated = 0;
    HeldFolder m_dir;
    HeldFolder m_attaDir;
    OutputFile m_file;
    QTextStream m_stream;
    bool m_labelAllSenders;
    ExportLocalTime m_time;
};

// "files/" and the file name as a relative URL, percent-encoded and safe inside an attribute.
QString g_htmlFilesLink(const QString& fileName);
