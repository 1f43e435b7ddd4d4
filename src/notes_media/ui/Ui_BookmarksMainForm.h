#pragma once

class MyTreeView;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QToolButton;
class QVBoxLayout;
class QWidget;

// The widgets of the bookmarks page: a search line above the tree and a count line below it.
class Ui_BookmarksMainForm
{
public:
    QVBoxLayout* verticalLayout_2 = nullptr;
    QWidget* widget = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    QWidget* widget_2 = nullptr;
    QHBoxLayout* horizontalLayout = nullptr;
    QLineEdit* txtKeyword = nullptr;
    QToolButton* btnSearch = nullptr;
    MyTreeView* listBookmarks = nullptr;
    QLabel* lbCount = nullptr;

    void setupUi(QWidget* form);
    void retranslateUi(QWidget* form);
};
