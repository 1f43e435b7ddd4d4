#include "app/ui/WidthSwitch.h"

#include <QEvent>
#include <QLayout>
#include <QWidget>

namespace
{

// The minimum size of the page as arranged now; the layouts cache sizes, so all are refreshed.
QSize minimumOf(QWidget* page)
{
    const auto widgets = page->findChildren<QWidget*>();
    for (QWidget* w : widgets)
        w->updateGeometry();
    const auto layouts = page->findChildren<QLayout*>();
    for (QLayout* l : layouts)
        l->invalidate();
    page->layout()->activate();
    return page->layout()->minimumSize();
}

} // namespace

WidthSwitch::WidthSwitch(QWidget* page, std::function<void(bool wide)> arrange)
    : QObject(page)
    , m_page(page)
    , m_arrange(std::move(arrange))
{
    QLayout* layout = page->layout();
    m_arrange(true);
    m_wideWidth = minimumOf(page).width();
    m_arrange(false);
    const QSize narrow = minimumOf(page);
    // The page keeps the narrow minimum whichever arrangement it shows.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    page->setMinimumSize(narrow);
    page->installEventFilter(this);
}

bool WidthSwitch::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_page && event->type() == QEvent::Resize) {
        const bool wide = m_page->width() >= m_wideWidth;
        if (wide != m_wide) {
            m_wide = wide;
            m_arrange(wide);
        }
    }
    return QObject::eventFilter(watched, event);
}
