#pragma once

#include <QString>

class ModalAnswerer;

// Answers for the dialogs a user meets on the way to a page or an extraction, queued on a
// ModalAnswerer as a user would fill them in.
namespace DialogAnswers
{
// The load dialog: the folder added, the backup in it chosen and loaded.
void chooseBackup(ModalAnswerer& answerer, const QString& folder);
// A folder choice: the folder typed in full (the dialog's own listing may still be loading), then
// accepted.
void chooseFolder(ModalAnswerer& answerer, const QString& folder);
} // namespace DialogAnswers
