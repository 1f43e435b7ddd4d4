#pragma once

#include "app/HeldFolder.h"

#include <QSet>
#include <QString>

// Remembers what an export's output place held before the export, so that a cancelled or failed
// export removes only what it made itself. A folder the export created goes as a whole; in a
// folder that was there before, only the new entries go (also those inside its sub-folders, one
// level down, such as the shared "files" folder of HTML pages). Given the folder the export held,
// it removes from that folder, never through a link; what the export made of the folder itself
// then goes with its MadeFolders.
class ExportOutputGuard
{
public:
    // path is the output file (folder false) or the output folder (folder true).
    ExportOutputGuard(const QString& path, bool folder);

    void removeCreated(const HeldFolder& held = HeldFolder()) const;

private:
    QString m_path;
    bool m_folder;
    bool m_existed;
    QSet<QString> m_before; // relative paths of the entries present at the start
};
