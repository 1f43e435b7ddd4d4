#pragma once

#include <QSize>

class MyTreeView;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QToolButton;
class QVBoxLayout;
class QWidget;

// The widgets of a data page listing items in a tree: an optional search line above the tree and a
// count line below it. The search widgets stay null on a page without search.
class Ui_ListPage
{
public:
    struct Shape {
        const char* formName;
        QSize size;
        const char* treeName;
        int indentation;
        bool withSearch;
    };

    QVBoxLayout* verticalLayout_2 = nullptr;
    QWidget* widget = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    QWidget* widget_2 = nullptr;
    QHBoxLayout* horizontalLayout = nullptr;
    QLineEdit* txtKeyword = nullptr;
    QToolButton* btnSearch = nullptr;
    MyTreeView* tree = nullptr;
    QLabel* lbCount = nullptr;

    void setupUi(QWidget* form, const Shape& shape);
    void retranslateUi(QWidget* form, const char* context);

private:
    void setupSearch();
};
