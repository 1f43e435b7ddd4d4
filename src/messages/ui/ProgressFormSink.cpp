#include "messages/ui/ProgressFormSink.h"

#include "app/ui/shared/ProgressForm.h"

bool ProgressFormSink::isCancelled() const
{
    return m_form.cancelled;
}

void ProgressFormSink::updateProgress(const QString& status, int percent, const QString& detail)
{
    m_form.invokeUpdateProgress(status, percent, detail);
}
