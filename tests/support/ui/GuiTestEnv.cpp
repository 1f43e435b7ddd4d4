#include "support/ui/GuiTestEnv.h"

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
    widget->grab().save(dir + "/" + name + ".png");
}

} // namespace GuiTestEnv
