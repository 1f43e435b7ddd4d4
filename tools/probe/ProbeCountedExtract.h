#pragma once

#include "notes_media/ui/ExportBKFileThread.h"

// The extraction worker's counts, handed out as it goes: probeRunWorker destroys the thread after
// the wait.
struct ProbeExtractCounts {
    qint64 total = 0, processed = 0, extracted = 0, missing = 0, damaged = 0, unreadable = 0, unwritten = 0;
};

class ProbeCountedExtract : public ExportBKFileThread
{
public:
    ProbeCountedExtract(const BackupManifest* m, const QList<const BackupManifest::_FileNode*>& nodes,
        const QDir& dest, ProgressForm* form, ProbeExtractCounts* counts)
        : ExportBKFileThread(m, nodes, dest, form)
        , m_counts(counts)
    {
    }
    ~ProbeCountedExtract() override
    {
        *m_counts = { totalFiles, processedFiles, extractedFiles, missingFiles, damagedFiles, unreadableFiles,
            unwrittenFiles };
    }

private:
    ProbeExtractCounts* m_counts;
};
