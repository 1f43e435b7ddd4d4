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
        m_form->invokeErrorOccurred(QString::fromUtf8(e.what()));
        return;
    }
    try {
        saveAllThrow();
    } catch (const Cancelled&) {
        rollBack();
    } catch (const std::exception& e) {
        rollBack();
        m_form->invokeErrorOccurred(QString::fromUtf8(e.what()));
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
