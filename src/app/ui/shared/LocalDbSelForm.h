#pragma once

#include <QDialog>
#include <QDir>

class QComboBox;
class QLabel;
class QPushButton;

// Asks where data is saved: an existing local database (merged into) or a new one named by the
// user. After exec() returned 1, dbDir is the chosen folder under the local-databases folder.
class LocalDbSelForm : public QDialog
{
    Q_OBJECT
public:
    LocalDbSelForm(QWidget* parent, const QString& presetName);

    // The chosen local database folder; meaningful only after the dialog was accepted.
    QDir dbDir;

    // True for a name that may become a local database folder (after trimming).
    static bool isValidName(const QString& name);

    QLabel* label;
    QComboBox* cbLocalDbNames;
    QPushButton* btnOK;
    QPushButton* btnClose;

public Q_SLOTS:
    void onBtnOkPress();
};
