#pragma once

#include "app/ui/shared/Ui_ListPage.h"

// The widgets of the bookmarks page: a search line above the tree and a count line below it.
class Ui_BookmarksMainForm : public Ui_ListPage
{
public:
    MyTreeView* listBookmarks = nullptr;

    void setupUi(QWidget* form)
    {
        Ui_ListPage::setupUi(form, { "BookmarksMainForm", QSize(951, 640), "listBookmarks", 20, true });
        listBookmarks = tree;
    }
};
