#include "contacts/ui/BackupContactsThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "contacts/store/LocalContactsDb.h"

#include <QElapsedTimer>
#include <exception>
#include <utility>

namespace
{
// Turns the store's per-merge savepoints off for the import and back as they were when it ends.
class MergeSavepointsOff
{
public:
    explicit MergeSavepointsOff(LocalContactsDb& store)
        : m_store(store)
        , m_was(store.mergeSavepoints())
    {
        store.setMergeSavepoints(false);
    }
    ~MergeSavepointsOff() { m_store.setMergeSavepoints(m_was); }
    MergeSavepointsOff(const MergeSavepointsOff&) = delete;
    MergeSavepointsOff& operator=(const MergeSavepointsOff&) = delete;

private:
    LocalContactsDb& m_store;
    bool m_was;
};
} // namespace

BackupContactsThread::BackupContactsThread(
    LocalContactsDb* store, QList<pim::_Contact> contacts, ProgressForm* progress, QObject* parent)
    : QThread(parent)
    , m_store(store)
    , m_contacts(std::move(contacts))
    , m_progress(progress)
{
}

void BackupContactsThread::import(int& done, int& merges)
{
    const int n = int(m_contacts.size());
    const QString status = tr("IDS_IMPORTING_CONTACTS_TO_LOCALDB");
    const QString detail = tr("Contacts:%1/%2");
    int lastPercent = -1;
    QElapsedTimer sinceReport;
    for (const pim::_Contact& contact : std::as_const(m_contacts)) {
        if (m_progress->cancelled)
            break;
        ++done;
        // Reported before the contact is merged: every contact of a list of up to 1,000, and on a
        // longer one whenever the percentage moves and at least every 100 ms, not flooding the dialog.
        const int percent = int(double(done) / n * 100.0);
        if (n <= 1000 || percent != lastPercent || done == n || sinceReport.elapsed() >= 100) {
            m_progress->invokeUpdateProgress(status, percent, detail.arg(done).arg(n));
            lastPercent = percent;
            sinceReport.start();
        }
        pim::_Contact stored;
        bool merged = false;
        m_store->combineContact(contact, stored, merged);
        if (merged)
            ++merges;
    }
}

void BackupContactsThread::rollBack()
{
    // Nothing of this import stays; a failing rollback must not leave the thread.
    try {
        m_store->endEdit(false);
    } catch (const std::exception& rollback) {
        qWarning("Contacts import not rolled back: %s", rollback.what());
    }
}

void BackupContactsThread::run()
{
    bool editing = false;
    // Any failure rolls the whole edit back, so the merges need no savepoint each.
    const MergeSavepointsOff noSavepoints(*m_store);
    try {
        m_store->beginEdit();
        editing = true;
        int done = 0;
        int merges = 0;
        import(done, merges);
        m_store->endEdit(true);
        editing = false;
        if (merges == 0)
            m_progress->invokeSucceed(tr("IDS_SUC_IMPORT_%1_TO_LOCALDB").arg(done));
        else
            m_progress->invokeSucceed(
                tr("IDS_SUC_IMPORT_%1_TO_LOCALDB_%2_MERGED").arg(done - merges).arg(merges));
    } catch (const std::exception& e) {
        const QString text = m_store->failureText(e);
        if (editing)
            rollBack();
        m_progress->invokeErrorOccurred(text);
    } catch (...) {
        if (editing)
            rollBack();
        m_progress->invokeErrorOccurred(QStringLiteral("Unknown error while saving contacts."));
    }
}
