#pragma once

class MyTreeView;
class QLabel;
class QLineEdit;
class QSplitter;
class QToolButton;
class QWidget;

// The widgets of the message page, built the way a form file would build them (object names as
// given; every layout without spacing or margins). webViewSMS is the place the bubble view fills.
class Ui_SMSMainForm
{
public:
    QLineEdit* txtHandleKeyword = nullptr;
    QToolButton* btnSearchHandle = nullptr;
    MyTreeView* listHandle = nullptr;
    QLineEdit* txtSMSKeyword = nullptr;
    QToolButton* btnSearchSMS = nullptr;
    MyTreeView* treeViewSMS = nullptr;
    QLabel* lbConversation = nullptr;
    QWidget* webViewSMS = nullptr;
    QLabel* lbCount = nullptr;
    QSplitter* splitter_2 = nullptr;
    QSplitter* splitter = nullptr;

    void setupUi(QWidget* SMSMainForm);
    // The title, the two search buttons and the "Total: 0" text.
    void retranslateUi(QWidget* SMSMainForm);

private:
    QWidget* setupHandlePane(QWidget* form);
    QWidget* setupSmsPane(QWidget* form);
    QWidget* setupSmsListPane(QWidget* parent);
    QWidget* setupBubblePane(QWidget* parent);
};
