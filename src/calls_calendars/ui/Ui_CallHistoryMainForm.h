#pragma once

#include "app/ui/shared/MyTreeView.h"
#include "app/ui/shared/Ui_ListPage.h"

#include <QLabel>

// The widgets of the call-history page.
struct Ui_CallHistoryMainForm : Ui_ListPage {
    MyTreeView* listCalls = nullptr;

    void setupUi(QWidget* form)
    {
        Ui_ListPage::setupUi(form, { "CallHistoryMainForm", QSize(709, 640), "listCalls", 0, false });
        listCalls = tree;
    }
};
