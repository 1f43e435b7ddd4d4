#pragma once

#include <QThread>
#include <exception>

class AbsLocalDb;
class ProgressForm;

// Saves items into a local store in one edit, under a progress dialog; a cancel or a failure rolls
// back everything of the run. Subclasses write the items in saveAllThrow(). Nothing is owned.
class StoreSaveThread : public QThread
{
    Q_OBJECT
protected:
    StoreSaveThread(AbsLocalDb* store, ProgressForm* form, QObject* parent);

    // Thrown out of saveAllThrow() when the user cancels; caught in run().
    struct Cancelled {
    };

    void run() override;
    // Saves every item, commits the edit and reports success; throws Cancelled or on failure.
    virtual void saveAllThrow() = 0;

    ProgressForm* m_form;

private:
    void rollBack();
    void reportError(const QString& text);

    AbsLocalDb* m_base;
};
