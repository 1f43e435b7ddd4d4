#include "support/ui/GuiTestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QString>
#include <QWidget>

namespace GuiTestEnv {

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

} // namespace GuiTestEnv
