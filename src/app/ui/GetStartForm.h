#pragma once

#include <QWidget>

class QLabel;

// The Getting Started page, shown when the selected tree entry has no page of its own.
class GetStartForm : public QWidget
{
    Q_OBJECT
public:
    explicit GetStartForm(QWidget* parent = nullptr);

    QLabel* label;
    QLabel* label_2;
    QLabel* label_3;
    QLabel* label_4;
    QLabel* label_5;
};
