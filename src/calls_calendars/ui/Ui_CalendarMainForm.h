#pragma once

#include "app/ui/shared/MyTreeView.h"
#include "app/ui/shared/Ui_ListPage.h"

#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

// The widgets of the calendar page.
struct Ui_CalendarMainForm : Ui_ListPage {
    MyTreeView* listCalendars = nullptr;

    void setupUi(QWidget* form)
    {
        Ui_ListPage::setupUi(form, { "CalendarMainForm", QSize(867, 640), "listCalendars", 20, true });
        listCalendars = tree;
    }
};
