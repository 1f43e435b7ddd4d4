#include "notes_media/ui/Ui_BookmarksMainForm.h"

#include "app/ui/shared/MyTreeView.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

void Ui_BookmarksMainForm::setupUi(QWidget* form)
{
    if (form->objectName().isEmpty())
        form->setObjectName("BookmarksMainForm");
    form->resize(951, 640);
    verticalLayout_2 = new QVBoxLayout(form);
    verticalLayout_2->setSpacing(0);
    verticalLayout_2->setContentsMargins(0, 0, 0, 0);
    widget = new QWidget(form);
    widget->setFocusPolicy(Qt::WheelFocus);
    verticalLayout = new QVBoxLayout(widget);
    verticalLayout->setSpacing(0);
    verticalLayout->setContentsMargins(0, 0, 0, 0);
    widget_2 = new QWidget(widget);
    widget_2->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    horizontalLayout = new QHBoxLayout(widget_2);
    horizontalLayout->setSpacing(0);
    horizontalLayout->setContentsMargins(0, 0, 0, 0);
    txtKeyword = new QLineEdit(widget_2);
    txtKeyword->setObjectName("txtKeyword");
    horizontalLayout->addWidget(txtKeyword);
    btnSearch = new QToolButton(widget_2);
    btnSearch->setObjectName("btnSearch");
    btnSearch->setIcon(QIcon(QStringLiteral(":/res/search.png")));
    horizontalLayout->addWidget(btnSearch);
    verticalLayout->addWidget(widget_2);
    listBookmarks = new MyTreeView(widget);
    listBookmarks->setObjectName("listBookmarks");
    listBookmarks->setStyleSheet(QStringLiteral("border:none;"));
    listBookmarks->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listBookmarks->setIndentation(20);
    listBookmarks->header()->setVisible(true);
    verticalLayout->addWidget(listBookmarks);
    lbCount = new QLabel(widget);
    lbCount->setObjectName("lbCount");
    lbCount->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    lbCount->setStyleSheet(QString());
    lbCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    verticalLayout->addWidget(lbCount);
    verticalLayout_2->addWidget(widget);
    retranslateUi(form);
}

void Ui_BookmarksMainForm::retranslateUi(QWidget* form)
{
    form->setWindowTitle(QCoreApplication::translate("BookmarksMainForm", "Form"));
    btnSearch->setText(QStringLiteral("..."));
    lbCount->setText(QCoreApplication::translate("BookmarksMainForm", "Total: 0"));
}
