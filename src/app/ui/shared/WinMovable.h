#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

// Lets a frameless window be dragged with the left mouse button. Installs itself as the window's
// event filter and is destroyed with it; every event passes on unchanged.
class WinMovable : public QObject
{
    Q_OBJECT
public:
    explicit WinMovable(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    QPoint m_pressOffset; // pointer position relative to the window's top-left at the press
    bool m_dragging = false;
};
