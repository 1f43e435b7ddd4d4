#pragma once

#include <QList>
#include <QPair>
#include <QWidget>

class BackupManifest;
class QGridLayout;
class QLabel;

// The summary page of a loaded backup: device, system version, serial, device id, date, state
// and a link to the backup folder.
class BKDescForm : public QWidget
{
    Q_OBJECT
public:
    BKDescForm(const BackupManifest* manifest, QWidget* parent = nullptr);

    // The header text: the name, cut to 40 characters followed by "..." when longer.
    static QString headerText(const QString& displayName);

    QLabel* lbBKName;
    QLabel* lbiTunesLogo;
    QWidget* infoArea;
    QLabel* lbPath = nullptr;

public Q_SLOTS:
    void openBackupFolder(const QString& link);

private:
    void placeFields(QGridLayout* grid, bool wide);

    // Caption and value of each field in reading order; the path is the last.
    QList<QPair<QLabel*, QWidget*>> m_fields;
};
