#pragma once

class MyTreeView;
class QVBoxLayout;
class QWidget;

// The widgets of the backup file tree page: one tree filling the page.
class Ui_FileSysMainForm
{
public:
    QVBoxLayout* verticalLayout = nullptr;
    MyTreeView* treeFiles = nullptr;

    void setupUi(QWidget* form);
    void retranslateUi(QWidget* form);
};
