#include "app/ui/shared/WinMovable.h"

#include <QEvent>
#include <QMouseEvent>
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
        if (m_dragging && (mouse->buttons() & Qt::LeftButton))
            m_window->move(mouse->globalPosition().toPoint() - m_pressOffset);
        break;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            m_dragging = false;
        break;
    default:
        break;
    }
    return false;
}
