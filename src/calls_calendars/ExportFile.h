#pragma once

#include "app/OutputFile.h"

#include <QString>

// The output file of one export, written as UTF-8 through OutputFile: it appears under its name
// only when finish() completed it, so a failed or cancelled export leaves no partial file and
// whatever stood at the name before. Failures throw std::runtime_error with the path and the
// system's reason.
class ExportFile
{
public:
    explicit ExportFile(const QString& path);
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    void openThrow();
    void writeThrow(const QString& text);
    // Writes out, closes and puts the file in place.
    void finishThrow();

    // True when the path's suffix is "csv" in any case.
    static bool isCsvPath(const QString& path);

private:
    [[noreturn]] void throwFailure() const;

    OutputFile m_file;
};
