#pragma once

#include <QDialog>

class QGraphicsView;
class QLabel;
class QPushButton;

// The small, frameless About box: application icon, name and version, notice line, home page link.
class AboutUsForm : public QDialog
{
    Q_OBJECT
public:
    explicit AboutUsForm(QWidget* parent = nullptr);

    QLabel* lbTitle;
    QGraphicsView* picApp;
    QLabel* lbProduct;
    QLabel* label;
    QLabel* lbHomePage;
    QPushButton* btnOK;
};
