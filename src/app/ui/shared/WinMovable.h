#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

// Lets a frameless window be dragged with the left mouse button, and shows it centred over its
// parent's window (a window without parent: over the program's visible window, else the screen).
// Installs itself as the window's event filter and is destroyed with it; every event passes on.
class WinMovable : public QObject
{
    Q_OBJECT
public:
    explicit WinMovable(QWidget* window);

    // Moves the window so that its centre is the centre of the window it belongs over.
    void centre();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    QPoint m_pressOffset; // pointer position relative to the window's top-left at the press
    bool m_dragging = false;
    bool m_moved = false; // dragged by the user: left where it was put
};
