#pragma once

#include <QDir>
#include <QThread>

class ProgressForm;

// The one-off upgrade of local databases kept in the older layout: an "mms.db" message file
// becomes the current local message store, a "calendar.db" becomes "calendars.db". Runs once at
// start-up under a progress dialog that cannot be cancelled; an old file is deleted only after
// its conversion succeeded, and one that this build cannot convert is left untouched.
class UpdateLocalDbThread : public QThread
{
    Q_OBJECT
public:
    UpdateLocalDbThread(ProgressForm& form, QObject* parent = nullptr);

    // The first local database folder that holds an old file this build can convert, or an
    // empty path when there is none (then no progress dialog is needed).
    static QString firstFolderToUpdate();

    // Saves the events of the folder's old "calendar.db" into its "calendars.db", all in one edit
    // that is rolled back when anything fails; the old file is left as it is. Throws on failure.
    static void updateCalendarDbThrow(const QDir& folder);

protected:
    void run() override;

private:
    ProgressForm& m_form;
};
