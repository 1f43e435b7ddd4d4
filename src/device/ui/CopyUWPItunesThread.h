#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QThread>

class ProgressForm;

// Copies an iTunes program folder into "quillmarrow_itunes/" of the home folder, reporting to a
// progress dialog; existing files are kept.
class CopyUWPItunesThread : public QThread
{
    Q_OBJECT
public:
    CopyUWPItunesThread(
        const QString& sourcePath, bool clearFirst, ProgressForm& form, QObject* parent = nullptr);

    // The folder named after the source inside the copy root.
    static QDir uwpItunesSaveDir(const QString& sourcePath);
    // True when a finished copy (its marker file) is in dir.
    static bool isUWPItunesCopied(const QDir& dir);

    bool copyFiles(const QFileInfo& source, QDir destination, QString& error);

protected:
    void run() override;

private:
    static QString copyRoot();
    void delDirCascade(const QString& path);

    QString sourcePath;
    bool clearFirst;
    ProgressForm* form;
};
