#pragma once

#include "app/TaskCancel.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLabel;
class QThread;
class QWidget;

// The one road by which a data page reads its data: on a worker, while the page stands at once with
// a sign that it is reading and its actions wait; once the worker ends, the page shows what was read
// on the interface thread. Reading again, leaving the page or closing the window cancels a reading
// under way (a statement over the database stops at its next step) and drops its result; the page
// stays, hidden, until that worker has ended (see PageLife), so what it fills stays until then.
class PageRead : public QObject
{
    Q_OBJECT
public:
    // Runs on the worker and fills what the shown step reads; it throws what it cannot read.
    using Read = std::function<void()>;
    // Runs on the interface thread once the read ended; failure is empty when it read.
    using Shown = std::function<void(const QString& failure)>;
    // Whether a failure is a fault the window has told already (a file the backup's load could not
    // copy): it is then not told again.
    using Told = std::function<bool(const QString& failure)>;

    explicit PageRead(QWidget* page);
    ~PageRead() override;

    void start(Read read, Shown shown);
    void cancel();
    // Cancels every reading and waits for its worker: the first step of a page's destructor, since
    // the workers fill what the page holds. The window never deletes a page that reads (PageLife).
    void end();
    bool reading() const { return !m_runs.isEmpty(); }

    // Tells a failure of the reading in an error box, unless the window has told it already.
    void tellFailure(const QString& failure) const;

    // Every reading of object and of its descendants: cancelled, under way, and told by told.
    static void cancelIn(const QObject* object);
    static bool readingIn(const QObject* object);
    static void setToldIn(const QObject* object, const Told& told);
    // Every reading of the program.
    static void cancelAll();
    static bool anyReading();

signals:
    // The page has shown what was read (or the failure).
    void shown();

private:
    struct Run;
    void ended(const std::shared_ptr<Run>& run);
    void showSign(bool reading);

    QWidget* m_page;
    QLabel* m_sign;
    std::shared_ptr<Run> m_current; // the reading whose result the page shows
    QList<std::shared_ptr<Run>> m_runs; // the workers still running, cancelled ones too
    Told m_told;
};
