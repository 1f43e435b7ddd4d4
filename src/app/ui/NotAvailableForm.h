#pragma once

#include <QWidget>

class QLabel;

// The plain page shown for a data kind whose view this build does not have yet.
class NotAvailableForm : public QWidget
{
    Q_OBJECT
public:
    NotAvailableForm(int kind, const QString& title, QWidget* parent = nullptr);

    int kind() const { return m_kind; }
    QLabel* lbTitle;
    QLabel* lbText;

private:
    int m_kind;
};
