#pragma once

#include <QFile>
#include <QString>

// The output file of one export: created or truncated on open, written as UTF-8, and removed again
// unless finish() completed it, so a failed or cancelled export leaves no partial file. Failures
// throw std::runtime_error with the file's error text.
class ExportFile
{
public:
    explicit ExportFile(const QString& path);
    ~ExportFile();
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    void openThrow();
    void writeThrow(const QString& text);
    // Flushes and closes; the file then stays.
    void finishThrow();

    // True when the path's suffix is "csv" in any case.
    static bool isCsvPath(const QString& path);

private:
    QFile m_file;
    bool m_done = false;
};
