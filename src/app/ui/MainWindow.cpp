#include "app/ui/MainWindow.h"

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName("MainWindow");
    setWindowTitle("Quillmarrow");
    resize(1024, 700);
}

MainWindow::~MainWindow() = default;
