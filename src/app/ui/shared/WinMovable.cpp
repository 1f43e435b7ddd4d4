#include "app/ui/shared/WinMovable.h"

#include <QApplication>
#include <QEvent>
#include <QMainWindow>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>

WinMovable::WinMovable(QWidget* window)
    : QObject(window)
    , m_window(window)
{
    if (m_window)
        m_window->installEventFilter(this);
}

bool WinMovable::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            m_pressOffset = mouse->globalPosition().toPoint() - m_window->frameGeometry().topLeft();
            m_dragging = true;
        }
        break;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (m_dragging && (mouse->buttons() & Qt::LeftButton)) {
            m_window->move(mouse->globalPosition().toPoint() - m_pressOffset);
            m_moved = true;
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            m_dragging = false;
        break;
    case QEvent::Show:
        // Again once the window has its final size (a message box sizes itself while showing).
        if (!m_moved) {
            centre();
            QTimer::singleShot(0, this, [this] {
                if (!m_moved)
                    centre();
            });
        }
        break;
    default:
        break;
    }
    return false;
}

namespace
{
QWidget* anchorOf(const QWidget* window)
{
    if (QWidget* parent = window->parentWidget())
        return parent->window();
    QWidget* active = QApplication::activeWindow();
    if (active && active != window && active->isVisible())
        return active;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top != window && top->isVisible() && qobject_cast<QMainWindow*>(top))
            return top;
    return nullptr;
}
} // namespace

void WinMovable::centre()
{
    const QWidget* anchor = anchorOf(m_window);
    QRect area;
    if (anchor && anchor->isVisible())
        area = anchor->frameGeometry();
    else if (const QScreen* screen = m_window->screen())
        area = screen->availableGeometry();
    if (area.isValid())
        m_window->move(area.center() - QPoint(m_window->width() / 2, m_window->height() / 2));
}
