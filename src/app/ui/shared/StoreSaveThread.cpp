#include "app/ui/shared/StoreSaveThread.h"

#include "app/AbsLocalDb.h"
#include "app/ui/shared/ProgressForm.h"

#include <exception>

StoreSaveThread::StoreSaveThread(AbsLocalDb* store, ProgressForm* form, QObject* parent)
    : QThread(parent)
    , m_form(form)
    , m_base(store)
{
}

void StoreSaveThread::run()
{
    try {
        m_base->beginEdit();
    } catch (const std::exception& e) {
        reportError(m_base->failureText(e));
        return;
    }
    try {
        saveAllThrow();
    } catch (const Cancelled&) {
        rollBack();
    } catch (const std::exception& e) {
        const QString text = m_base->failureText(e);
        rollBack();
        reportError(text);
    }
}

// A failing roll back must not leave run() by an exception: it is logged, and the connection is
// closed so that SQLite drops whatever is still open.
void StoreSaveThread::rollBack()
{
    try {
        m_base->endEdit(false);
    } catch (const std::exception& e) {
        qWarning("Save into %s not rolled back: %s", qUtf8Printable(m_base->path), e.what());
        m_base->close();
    }
}

void StoreSaveThread::reportError(const QString& text)
{
    m_form->invokeErrorOccurred(text);
}
