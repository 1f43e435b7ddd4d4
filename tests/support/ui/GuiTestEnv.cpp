#include "support/ui/GuiTestEnv.h"

#include "app/ui/shared/PageRead.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QPainter>
#include <QPixmap>
#include <QString>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace GuiTestEnv
{

void screenshot(QWidget* widget, const QString& name)
{
    const QString dir = qEnvironmentVariable("QM_SCREENSHOT_DIR");
    if (dir.isEmpty() || !widget)
        return;
    QDir().mkpath(dir);
    // A message box answered before it was shown: show it for the picture, sized as on screen.
    const bool hidden = widget->isWindow() && !widget->isVisible();
    if (hidden) {
        widget->show();
        QCoreApplication::processEvents();
    }
    widget->grab().save(dir + "/" + name + ".png");
    if (hidden)
        widget->hide();
}

void screenshotOver(QWidget* window, QWidget* over, const QString& name)
{
    const QString dir = qEnvironmentVariable("QM_SCREENSHOT_DIR");
    if (dir.isEmpty() || !window || !over)
        return;
    QDir().mkpath(dir);
    const QRect all = window->frameGeometry().united(over->frameGeometry());
    QPixmap shot(all.size());
    shot.fill(Qt::darkGray);
    QPainter painter(&shot);
    for (QWidget* w : { window, over })
        painter.drawPixmap(w->geometry().topLeft() - all.topLeft(), w->grab());
    painter.end();
    shot.save(dir + "/" + name + ".png");
}

void askToQuit()
{
    QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
}

void resumeAfterQuit()
{
    // The application's own loop clears the request as it ends.
    QTimer::singleShot(0, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

} // namespace GuiTestEnv

bool GuiTestEnv::pageRead(const QWidget* page)
{
    return QTest::qWaitFor([page] { return !PageRead::readingIn(page); }, 30000);
}
