#pragma once

#include <QObject>
#include <QString>
#include <memory>

// Writes the conversation pages too big to hand to the view as text into a private folder of this
// run, each on a thread of its own: the run folder is on a disk too, which the interface thread
// never waits on. Each page gets a file of its own; the one shown before stays for a view that may
// still read it, older ones go.
class PageFileWriter : public QObject
{
    Q_OBJECT
public:
    explicit PageFileWriter(QObject* parent = nullptr);
    ~PageFileWriter() override;

    // The folder and the pages in it, shared with the threads that write them.
    struct Files;

    // Starts writing bytes; written tells, on this object's thread, the file or why there is none.
    void write(quint64 request, QByteArray bytes);

signals:
    void written(quint64 request, const QString& path, const QString& why);

private:
    std::shared_ptr<Files> m_files;
};
