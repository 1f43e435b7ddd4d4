#include "app/ui/shared/Ui_ListPage.h"

#include "app/ui/shared/MyTreeView.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

void Ui_ListPage::setupUi(QWidget* form, const Shape& shape)
{
    if (form->objectName().isEmpty())
        form->setObjectName(shape.formName);
    form->resize(shape.size);
    verticalLayout_2 = new QVBoxLayout(form);
    verticalLayout_2->setObjectName("verticalLayout_2");
    verticalLayout_2->setSpacing(0);
    verticalLayout_2->setContentsMargins(0, 0, 0, 0);
    widget = new QWidget(form);
    widget->setObjectName("widget");
    widget->setFocusPolicy(Qt::WheelFocus);
    verticalLayout = new QVBoxLayout(widget);
    verticalLayout->setObjectName("verticalLayout");
    verticalLayout->setSpacing(0);
    verticalLayout->setContentsMargins(0, 0, 0, 0);
    if (shape.withSearch)
        setupSearch();
    tree = new MyTreeView(widget);
    tree->setObjectName(shape.treeName);
    tree->setStyleSheet(QStringLiteral("border:none;"));
    tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree->setIndentation(shape.indentation);
    tree->header()->setVisible(true);
    verticalLayout->addWidget(tree);
    lbCount = new QLabel(widget);
    lbCount->setObjectName("lbCount");
    lbCount->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    lbCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    verticalLayout->addWidget(lbCount);
    verticalLayout_2->addWidget(widget);
    retranslateUi(form, shape.formName);
}

void Ui_ListPage::setupSearch()
{
    widget_2 = new QWidget(widget);
    widget_2->setObjectName("widget_2");
    widget_2->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    horizontalLayout = new QHBoxLayout(widget_2);
    horizontalLayout->setObjectName("horizontalLayout");
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
}

void Ui_ListPage::retranslateUi(QWidget* form, const char* context)
{
    form->setWindowTitle(QCoreApplication::translate(context, "Form"));
    if (btnSearch)
        btnSearch->setText(QCoreApplication::translate(context, "..."));
    lbCount->setText(QCoreApplication::translate(context, "Total: 0"));
}
