#include "app/ui/BackupRecordsThread.h"

#include "app/PathHook.h"
#include "app/ui/shared/OffThread.h"
#include "app/ui/shared/ProgressForm.h"
#include "backup/BackupManifest.h"
#include "backup/lock/BackupFolderLock.h"

#include <exception>

namespace
{

PathHook& beforeRead()
{
    static PathHook hook;
    return hook;
}

} // namespace

BackupRecordsThread::BackupRecordsThread(QSharedPointer<BackupManifest> manifest, ProgressForm* form)
    : m_manifest(std::move(manifest))
    , m_folder(m_manifest->dir.absolutePath())
    , m_form(form)
{
}

BackupRecordsThread::~BackupRecordsThread() = default;

void BackupRecordsThread::setBeforeRead(std::function<void(const QString& folder)> hook)
{
    beforeRead().set(std::move(hook));
}

void BackupRecordsThread::setInfoFirst(const QString& password)
{
    m_infoFirst = true;
    m_password = password;
}

void BackupRecordsThread::abandon()
{
    m_cancel->cancelled = true;
    m_manifest->cancelUnlock(); // a key derivation under way ends within milliseconds
    requestInterruption(); // ends a wait for the folder, which no form reports any more
    std::unique_ptr<BackupFolderLock> hold;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_abandoned = true;
        m_form = nullptr;
        // There only once the read is done with it.
        if (m_hold)
            m_hold->handOverToThisThread();
        hold = std::move(m_hold);
    }
    OffThread::release(hold);
}

std::unique_ptr<BackupFolderLock> BackupRecordsThread::takeHold()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_hold)
        m_hold->handOverToThisThread();
    return std::move(m_hold);
}

bool BackupRecordsThread::readInfo()
{
    m_manifest->readManifestInfo();
    if (!m_manifest->IsEncrypted)
        return true;
    return !m_password.isEmpty() && m_manifest->setPasscode(m_password);
}

void BackupRecordsThread::run()
{
    std::optional<ProgressForm::ReportingScope> reporting;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_form)
            reporting.emplace(m_form);
    }
    // Bound after the form's scope: a cancel of the form, or abandon(), stops a statement under way.
    const TaskCancel::Scope task(m_cancel);
    std::unique_ptr<BackupFolderLock> hold;
    try {
        beforeRead().call(m_folder);
        m_locked = m_infoFirst && !readInfo();
        if (!m_locked) {
            hold = std::make_unique<BackupFolderLock>(m_manifest->dir, m_mode);
            m_manifest->parseInfo();
        }
    } catch (const BackupFolderLock::Cancelled&) {
        m_cancelled = true;
    } catch (const std::exception& e) {
        m_error = QString::fromUtf8(e.what());
        if (m_error.isEmpty())
            m_error = QStringLiteral("?");
    }
    if (!read())
        hold.reset();
    const std::lock_guard<std::mutex> lock(m_mutex);
    // Nobody takes it over: given up here, where it counts.
    if (m_abandoned)
        hold.reset();
    m_hold = std::move(hold);
}
