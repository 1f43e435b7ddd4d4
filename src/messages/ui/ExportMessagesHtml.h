#pragma once

#include "app/AbsFormatExport.h"
#include "app/FittedNames.h"
#include "app/MadeFiles.h"
#include "app/OutputFile.h"
#include "messages/ui/ExportLocalTime.h"
#include "messages/ui/UnreadAttachments.h"

#include <QFile>
#include <QString>
#include <QStringList>
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

    // The folder the page links its style sheet, pictures and attachment copies in, name beside the
    // page (see ExportFilesFolder); without one, init() makes "files".
    void useFilesFolder(const HeldFolder& folder, const QString& name);

    void init() override;
    void write(_MsgMessage& message) override;
    void uninit() override;

    // Copies a file into "files" under its own name (or name when given), or a numbered variant of it
    // when that is taken, and returns the name of the copy. A file of the user's own there with its very
    // bytes, at the name or a numbered one, is that copy, as it stands. Throws when the copy cannot be
    // written, and when the file cannot be read unless unread is given: then *unread says why, and the name
    // is empty. A name the disk refuses is fitted to it (see OutputFile::setFitName); where it takes none,
    // the file is not copied and is named among failedCopies().
    QString saveAttaFile(const QString& path, QString* unread = nullptr, const QString& name = QString());
    // The attachments whose reads failed, each shown in its bubble by why.
    const UnreadAttachments& unreadAttachments() const { return m_unread; }

    // The name the page was put under: the one given, or one fitted to a disk that refused it.
    QString placedName() const { return m_file.placedName(); }
    // The attachment files written under names fitted to the disk.
    const FittedNames& fittedAttachments() const { return m_fitted; }
    // The attachment files not copied as the disk took no name for them: each "<file>: <why>".
    const QStringList& failedCopies() const { return m_failedCopies; }
    // Where each attachment copy is noted as made, for a run that fails to take back.
    void noteMadeInto(MadeFiles* made) { m_madeFiles = made; }

private:
    void writeMessage(const _MsgMessage& m);
    QString senderText(const _MsgMessage& m) const;
    QString dateLine(const _MsgMessage& m);
    std::optional<QString> attachmentContent(const _MsgAttachment& a);
    // The contents of the bubble of a picture, a card and a text; link is the copy's. They read
    // the file only while *why is empty, and set it when a read fails.
    QString pictureContent(const _MsgAttachment& a, const QString& link, bool present, QString* why);
    QString cardContent(const _MsgAttachment& a, const QString& link, bool present, QString* why);
    std::optional<QString> textContent(const _MsgAttachment& a, QString* why);
    // "files" inside the page's folder, made the first time it is needed.
    const HeldFolder& filesFolderThrow();
    // The link to fileName in that folder.
    QString filesLink(const QString& fileName) const;
    // The name in that folder that holds the very bytes of the file at path, or is free: name or the
    // first numbered one.
    QString copyName(const QString& name, const QString& path) const;
    // Throws when the page could not be written (flush: after writing out the buffers).
    void checkWritten(bool flush = false);

    int m_lastDated = 0;
    HeldFolder m_dir;
    HeldFolder m_attaDir;
    QString m_attaName = QStringLiteral("files");
    MadeFiles* m_madeFiles = nullptr;
    OutputFile m_file;
    QTextStream m_stream;
    bool m_labelAllSenders;
    ExportLocalTime m_time;
    UnreadAttachments m_unread;
    FittedNames m_fitted;
    QStringList m_failedCopies;
};

// folder, "/" and the file name as a relative URL, percent-encoded and safe inside an attribute.
QString g_htmlFilesLink(const QString& fileName, const QString& folder = QStringLiteral("files"));
