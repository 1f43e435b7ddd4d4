#include "app/ui/support/DialogAnswers.h"

#include "app/ui/shared/LoadItunesBackupDlg.h"
#include "app/ui/support/ModalAnswerer.h"

#include <QFileDialog>
#include <QLineEdit>

namespace DialogAnswers
{

void chooseBackup(ModalAnswerer& answerer, const QString& folder)
{
    answerer.answerWith([folder](QWidget* modal) {
        auto* dlg = qobject_cast<LoadItunesBackupDlg*>(modal);
        if (!dlg)
            return false;
        dlg->addFolder(folder);
        QMetaObject::invokeMethod(dlg, &LoadItunesBackupDlg::onBtnOkPressed, Qt::QueuedConnection);
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

} // namespace DialogAnswers
