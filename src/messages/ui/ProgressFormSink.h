#pragma once

#include "app/IProgressSink.h"

class ProgressForm;

// Hands the progress of headless work to a progress dialog (cross-thread safe, as the dialog's
// invoke calls are).
class ProgressFormSink : public IProgressSink
{
public:
    explicit ProgressFormSink(ProgressForm& form)
        : m_form(form)
    {
    }
    bool isCancelled() const override;
    void updateProgress(const QString& status, int percent, const QString& detail) override;

private:
    ProgressForm& m_form;
};
