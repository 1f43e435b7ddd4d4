#pragma once

#include "app/ui/shared/MyTreeView.h"

#include <QCoreApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

// The widgets of the call-history page.
struct Ui_CallHistoryMainForm {
    QVBoxLayout* verticalLayout_2 = nullptr;
    QWidget* widget = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    MyTreeView* listCalls = nullptr;
    QLabel* lbCount = nullptr;

    void setupUi(QWidget* form)
    {
        if (form->objectName().isEmpty())
            form->setObjectName("CallHistoryMainForm");
        form->resize(709, 640);
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
        listCalls = new MyTreeView(widget);
        listCalls->setObjectName("listCalls");
        listCalls->setStyleSheet("border:none;");
        listCalls->setSelectionMode(QAbstractItemView::ExtendedSelection);
        listCalls->setIndentation(0);
        verticalLayout->addWidget(listCalls);
        lbCount = new QLabel(widget);
        lbCount->setObjectName("lbCount");
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        policy.setHeightForWidth(lbCount->sizePolicy().hasHeightForWidth());
        lbCount->setSizePolicy(policy);
        lbCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        verticalLayout->addWidget(lbCount);
        verticalLayout_2->addWidget(widget);
        retranslateUi(form);
        QMetaObject::connectSlotsByName(form);
    }

    void retranslateUi(QWidget* form)
    {
        form->setWindowTitle(QCoreApplication::translate("CallHistoryMainForm", "Form"));
        lbCount->setText(QCoreApplication::translate("CallHistoryMainForm", "Total: 0"));
    }
};
