#include "contacts/ui/ExportToFileThread.h"

#include "app/OutputFile.h"
#include "app/ui/shared/ProgressForm.h"
#include "contacts/export/CSVExport.h"
#include "contacts/export/HtmlExport.h"
#include "contacts/export/TxtExport.h"
#include "contacts/export/VCardExport.h"

#include <QDir>
#include <QFileInfo>
#include <memory>
#include <optional>
#include <stdexcept>

namespace
{
[[noreturn]] void throwFileError(const OutputFile& file)
{
    throw std::runtime_error(file.failure().toStdString());
}

void writeThrow(OutputFile& file, const QByteArray& bytes)
{
    if (!bytes.isEmpty() && file.write(bytes) != bytes.size())
        throwFileError(file);
}
// Drops the temporary file at once (an existing target stays as it was), then what the HTML
// exporter made.
void discard(std::optional<OutputFile>& file, HtmlExport* html)
{
    if (file)
        file->discard();
    if (html)
        html->removeCreated();
}
} // namespace

ExportToFileThread::ExportToFileThread(
    const QList<pim::_Contact>& contacts, TYPE type, QString path, ProgressForm* form, QObject* parent)
    : QThread(parent)
    , m_contacts(contacts)
    , m_type(type)
    , m_path(std::move(path))
    , m_form(form)
{
}

bool ExportToFileThread::writeAll(AbsExport& exporter, OutputFile& file, int& done)
{
    const int total = int(m_contacts.size());
    const QString status = tr("IDS_EXPORTING_CONTACTS_TO_FILE");
    int lastPercent = -1;
    writeThrow(file, exporter.initialize(m_contacts));
    for (const pim::_Contact& contact : std::as_const(m_contacts)) {
        if (m_form->cancelled)
            return false;
        ++done;
        const int percent = int(double(done) / total * 100.0);
        if (percent != lastPercent || done == total) {
            m_form->invokeUpdateProgress(
                status, percent, QStringLiteral("Contacts:%1/%2").arg(done).arg(total));
            lastPercent = percent;
        }
        writeThrow(file, exporter.ct2Bytes(contact));
    }
    writeThrow(file, exporter.uninitialize());
    return true;
}

void ExportToFileThread::run()
{
    if (m_type < VCARD || m_type > HTML) {
        m_form->invokeErrorOccurred(QString());
        return;
    }
    std::unique_ptr<AbsExport> exporter;
    HtmlExport* html = nullptr;
    switch (m_type) {
    case VCARD:
        exporter = std::make_unique<VCardExport>();
        break;
    case CSV:
        exporter = std::make_unique<CSVExport>();
        break;
    case TXT:
        exporter = std::make_unique<TxtExport>();
        break;
    case HTML: {
        // The chosen name is both the folder's and the page's: P/N beside P/photos.
        auto h = std::make_unique<HtmlExport>(QDir(m_path));
        html = h.get();
        exporter = std::move(h);
        m_path = QDir(m_path).absoluteFilePath(QFileInfo(m_path).fileName());
        break;
    }
    }
    std::optional<OutputFile> file;
    int done = 0;
    try {
        const QIODevice::OpenMode mode
            = m_type == TXT ? QIODevice::WriteOnly | QIODevice::Text : QIODevice::WriteOnly;
        if (html) {
            // The page goes into the folder made for it, as held.
            html->makeFoldersThrow();
            file.emplace(html->folder(), QFileInfo(m_path).fileName());
        } else {
            file.emplace(m_path);
        }
        if (!file->open(mode))
            throwFileError(*file);
        if (!writeAll(*exporter, *file, done)) {
            discard(file, html);
            return;
        }
        if (!file->commit())
            throwFileError(*file);
        m_form->invokeSucceed(tr("IDS_SUC_EXPORT_%1_CONTACTS_TO_FILE").arg(done));
    } catch (const std::exception& e) {
        discard(file, html);
        m_form->invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}
