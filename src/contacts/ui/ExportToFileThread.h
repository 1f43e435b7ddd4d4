#pragma once

#include "contacts/store/_Contact.h"

#include <QList>
#include <QString>
#include <QThread>

class AbsExport;
class ProgressForm;
class OutputFile;

// Exports contacts into one file (vCard, CSV, text) or an HTML page in a folder of the chosen
// name, reporting to a progress dialog. The file is written through OutputFile: a failed write or
// close is an error with the system's reason, and a failed or cancelled export leaves an existing file as it
// was and removes only what it created.
class ExportToFileThread : public QThread
{
    Q_OBJECT
public:
    enum TYPE : int {
        VCARD = 1,
        CSV = 2,
        TXT = 3,
        HTML = 4
    }; // int: any value a caller passes is checked in run()

    ExportToFileThread(const QList<pim::_Contact>& contacts, TYPE type, QString path, ProgressForm* form,
        QObject* parent = nullptr);
    ~ExportToFileThread() override = default;

    // The file written (for HTML the page inside the export folder); set when run has begun.
    QString outputPath() const { return m_path; }

protected:
    void run() override;

private:
    QList<pim::_Contact> m_contacts;
    TYPE m_type;
    QString m_path;
    ProgressForm* m_form;

    // False when cancelled.
    bool writeAll(AbsExport& exporter, OutputFile& file, int& done);
};
