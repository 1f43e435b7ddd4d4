#include "app/StyleSheet.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>

QString getStyleSheet()
{
    static QMutex mutex;
    static QString sheet;
    QMutexLocker lock(&mutex);
    if (sheet.isEmpty()) {
        QFile file(":/res/style.css");
        if (file.open(QIODevice::ReadOnly))
            sheet = QString::fromUtf8(file.readAll());
    }
    return sheet;
}
