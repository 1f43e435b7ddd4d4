#pragma once

#include <QDialog>

class BackupManifest;
class QLabel;
class QLineEdit;
class QPushButton;

// Asks for the password of an encrypted backup and tries it on the backup. Stays open until a
// password unlocks the backup (exec() returns 1) or the user closes it (any other result).
class PasscodeDlg : public QDialog
{
    Q_OBJECT
public:
    PasscodeDlg(BackupManifest* manifest, QWidget* parent = nullptr);

    // The password that unlocked the backup; empty until then.
    QString password;

    QLabel* lbTitle;
    QLabel* lbBackup;
    QLineEdit* edPassword;
    QPushButton* btnOK;
    QPushButton* btnClose;

public Q_SLOTS:
    void onBtnOkPressed();

private:
    BackupManifest* m_manifest;
};
