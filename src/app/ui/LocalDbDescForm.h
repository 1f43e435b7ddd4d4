#pragma once

#include <QDir>
#include <QWidget>

class QLabel;

// The summary page of a local database: what each of its stores holds and a link to its folder.
// Showing it creates the stores that do not exist yet, empty.
class LocalDbDescForm : public QWidget
{
    Q_OBJECT
public:
    LocalDbDescForm(const QDir& dbDir, QWidget* parent = nullptr);

    QLabel* lbDbName;
    QWidget* infoArea;
    // The five counts in page order: messages, contacts, calendar events, notes, bookmarks.
    QList<QLabel*> countLabels;
    QLabel* lbPath;

public Q_SLOTS:
    void openDbFolder(const QString& link);
};
