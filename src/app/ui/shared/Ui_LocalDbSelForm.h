#pragma once

class QComboBox;
class QDialog;
class QLabel;
class QPushButton;

// The widgets of the local database choice dialog, built the way a form file would build them.
class Ui_LocalDbSelForm
{
public:
    QLabel* label = nullptr;
    QComboBox* cbLocalDbNames = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnClose = nullptr;

    // Builds the widgets on the dialog (fixed 423 x 156, frameless, styled, draggable).
    void setupUi(QDialog* LocalDbSelForm);
    void retranslateUi(QDialog* LocalDbSelForm);
};
