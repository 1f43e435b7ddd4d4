#include "notes_media/ui/Ui_FileSysMainForm.h"

#include "app/ui/shared/MyTreeView.h"

#include <QCoreApplication>
#include <QVBoxLayout>

void Ui_FileSysMainForm::setupUi(QWidget* form)
{
    if (form->objectName().isEmpty())
        form->setObjectName("FileSysMainForm");
    form->resize(907, 640);
    verticalLayout = new QVBoxLayout(form);
    verticalLayout->setSpacing(0);
    verticalLayout->setContentsMargins(0, 0, 0, 0);
    treeFiles = new MyTreeView(form);
    treeFiles->setObjectName("treeFiles");
    treeFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    treeFiles->setIndentation(20);
    verticalLayout->addWidget(treeFiles);
    retranslateUi(form);
}

void Ui_FileSysMainForm::retranslateUi(QWidget* form)
{
    form->setWindowTitle(QCoreApplication::translate("FileSysMainForm", "Form"));
}
