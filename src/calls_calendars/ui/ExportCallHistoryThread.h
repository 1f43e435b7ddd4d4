#pragma once

#include "calls_calendars/_CallHistory.h"

#include <QList>
#include <QThread>

class ProgressForm;

// Writes calls to a CSV or fixed-width text file (by the path's suffix).
class ExportCallHistoryThread : public QThread
{
    Q_OBJECT
public:
    ExportCallHistoryThread(
        QList<_CallHistory> calls, QString path, ProgressForm* form, QObject* parent = nullptr);

protected:
    void run() override;

private:
    QList<_CallHistory> m_calls;
    QString m_path;
    ProgressForm* m_form;
};
