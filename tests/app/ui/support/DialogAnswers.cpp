#include "app/ui/support/DialogAnswers.h"

#include "app/ui/shared/LoadItunesBackupDlg.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/ModalAnswerer.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

namespace DialogAnswers
{

void chooseBackup(ModalAnswerer& answerer, const QString& folder)
{
    answerer.answerWith([folder](QWidget* modal) {
        auto* dlg = qobject_cast<LoadItunesBackupDlg*>(modal);
        if (!dlg)
            return false;
        // Loaded once the folder is looked at (off the dialog's thread) and its backup is current.
        const QString path = folder;
        QObject::connect(dlg, &LoadItunesBackupDlg::folderListed, dlg, [dlg, path](const QString& listed) {
            if (listed == path)
                QMetaObject::invokeMethod(dlg, &LoadItunesBackupDlg::onBtnOkPressed, Qt::QueuedConnection);
        });
        dlg->addFolder(folder);
        return true;
    });
}

void chooseFolder(ModalAnswerer& answerer, const QString& folder)
{
    answerer.answerWith([folder](QWidget* modal) {
        auto* dlg = qobject_cast<QFileDialog*>(modal);
        if (!dlg)
            return false;
        dlg->selectFile(folder);
        if (auto* edit = dlg->findChild<QLineEdit*>("fileNameEdit"))
            edit->setText(folder);
        QMetaObject::invokeMethod(dlg, &QDialog::accept, Qt::QueuedConnection);
        return true;
    });
}

void answerProgress(ModalAnswerer& answerer, QString* status, bool cancel,
    const std::function<void(ProgressForm* form)>& then)
{
    answerer.answerWith([status, cancel, then](QWidget* modal) {
        auto* form = qobject_cast<ProgressForm*>(modal);
        if (!form || !form->isVisible())
            return false;
        *status = form->statusText();
        if (then)
            then(form);
        if (cancel)
            QTimer::singleShot(0, form, [form] { form->reject(); });
        return true;
    });
    if (cancel)
        answerer.answer(QMessageBox::Yes); // "Are You Sure You Want To Cancel?"
}

} // namespace DialogAnswers
