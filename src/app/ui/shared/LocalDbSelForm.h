#pragma once

#include "app/ui/shared/Ui_LocalDbSelForm.h"

#include <QDialog>
#include <QDir>

// Asks where data is saved: an existing local database (merged into) or a new one named by the
// user. After exec() returned 1, dbDir is the chosen folder under the local-databases folder.
class LocalDbSelForm : public QDialog, public Ui_LocalDbSelForm
{
    Q_OBJECT
public:
    LocalDbSelForm(QWidget* parent, const QString& presetName);

    // The chosen local database folder; meaningful only after the dialog was accepted.
    QDir dbDir;

    // True for a name that may become a local database folder (after trimming).
    static bool isValidName(const QString& name);

public Q_SLOTS:
    void onBtnOkPress();
};
