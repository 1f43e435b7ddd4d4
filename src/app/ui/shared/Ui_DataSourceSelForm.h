#pragma once

class QComboBox;
class QDialog;
class QLabel;
class QPushButton;

// The widgets of the device choice dialog, built the way a form file would build them.
class Ui_DataSourceSelForm
{
public:
    QLabel* lbSelDevice = nullptr;
    QComboBox* cbDevice = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnClose = nullptr;

    // Builds the widgets on the dialog (427 x 138, frameless, styled, draggable).
    void setupUi(QDialog* DataSourceSelForm);
    void retranslateUi(QDialog* DataSourceSelForm);
};
