#pragma once

#include "app/AbsFormatExport.h"
#include "app/OutputFile.h"
#include "messages/ui/MMSPrinterPrivacy.h"

#include <QPrinter>
#include <QString>

class _MsgMessage;

// One conversation as an A4 PDF file, painted like the printout as the messages come.
class ExportMessagesPdf : public AbsFormatExport<_MsgMessage>
{
public:
    // Sets up the PDF printer on a temporary in folder and begins painting page 1; the file is
    // put at name there, or at one fitted to a disk that refuses it (see OutputFile::setFitName).
    ExportMessagesPdf(const HeldFolder& folder, const QString& name);

    // Throws when the file could not be created.
    void init() override;
    void write(_MsgMessage& message) override;
    // Finishes the file and puts it in place; throws when it could not be completed.
    void uninit() override;
    // The attachments whose reads failed, each shown in its bubble by why.
    const UnreadAttachments& unreadAttachments() const { return m_page.unreadAttachments(); }

    // The name the file was put under: the one given, or one fitted to a disk that refused it.
    QString placedName() const { return m_out.placedName(); }

private:
    [[noreturn]] void throwNotWritten() const;

    OutputFile m_out;
    QPrinter m_printer; // destroyed after the painter below
    MMSPrinterPrivacy m_page;
};
