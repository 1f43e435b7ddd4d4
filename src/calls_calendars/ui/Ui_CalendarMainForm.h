#pragma once

#include "app/ui/shared/MyTreeView.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>

// The widgets of the calendar page.
struct Ui_CalendarMainForm {
    QVBoxLayout* verticalLayout_2 = nullptr;
    QWidget* widget = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    QWidget* widget_2 = nullptr;
    QHBoxLayout* horizontalLayout = nullptr;
    QLineEdit* txtKeyword = nullptr;
    QToolButton* btnSearch = nullptr;
    MyTreeView* listCalendars = nullptr;
    QLabel* lbCount = nullptr;

    void setupUi(QWidget* form)
    {
        if (form->objectName().isEmpty())
            form->setObjectName("CalendarMainForm");
        form->resize(867, 640);
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
        btnSearch->setIcon(QIcon(":/res/search.png"));
        horizontalLayout->addWidget(btnSearch);
        verticalLayout->addWidget(widget_2);
        listCalendars = new MyTreeView(widget);
        listCalendars->setObjectName("listCalendars");
        listCalendars->setStyleSheet("border:none;");
        listCalendars->setSelectionMode(QAbstractItemView::ExtendedSelection);
        listCalendars->setIndentation(20);
        verticalLayout->addWidget(listCalendars);
        lbCount = new QLabel(widget);
        lbCount->setObjectName("lbCount");
        lbCount->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        lbCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        verticalLayout->addWidget(lbCount);
        verticalLayout_2->addWidget(widget);
        retranslateUi(form);
        QMetaObject::connectSlotsByName(form);
    }

    void retranslateUi(QWidget* form)
    {
        form->setWindowTitle(QCoreApplication::translate("CalendarMainForm", "Form"));
        btnSearch->setText(QCoreApplication::translate("CalendarMainForm", "..."));
        lbCount->setText(QCoreApplication::translate("CalendarMainForm", "Total: 0"));
    }
};
