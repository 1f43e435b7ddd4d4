#pragma once

#include <QString>
#include <functional>

class ModalAnswerer;
class ProgressForm;

// Answers for the dialogs a user meets on the way to a page or an extraction, queued on a
// ModalAnswerer as a user would fill them in.
namespace DialogAnswers
{
// The load dialog: the folder added, the backup in it chosen and loaded.
void chooseBackup(ModalAnswerer& answerer, const QString& folder);
// A folder choice: the folder typed in full (the dialog's own listing may still be loading), then
// accepted.
void chooseFolder(ModalAnswerer& answerer, const QString& folder);
// The next progress dialog that shows: its status is kept in *status, then runs with it; with cancel
// the dialog is then cancelled, the question that follows answered Yes.
void answerProgress(ModalAnswerer& answerer, QString* status, bool cancel,
    const std::function<void(ProgressForm* form)>& then = {});
} // namespace DialogAnswers
