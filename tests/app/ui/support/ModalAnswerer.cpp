#include "app/ui/support/ModalAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

ModalAnswerer::ModalAnswerer(QObject* parent)
    : QObject(parent)
    , m_timer(new QTimer(this))
{
    m_timer->setInterval(15);
    connect(m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer->start();
}

ModalAnswerer::~ModalAnswerer() = default;

void ModalAnswerer::answer(QMessageBox::StandardButton button)
{
    answerWith([button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        return box && click(box, button);
    });
}

void ModalAnswerer::answerText(const QString& buttonText)
{
    answerWith([buttonText](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        return box && click(box, buttonText);
    });
}

void ModalAnswerer::answerWith(const Handler& handler)
{
    m_answers.push(handler);
}

bool ModalAnswerer::click(QMessageBox* box, QMessageBox::StandardButton button)
{
    QAbstractButton* b = box->button(button);
    if (!b)
        return false;
    // Queued, so the click never runs inside this poll and the box's own loop ends normally.
    QMetaObject::invokeMethod(b, &QAbstractButton::click, Qt::QueuedConnection);
    return true;
}

bool ModalAnswerer::click(QMessageBox* box, const QString& buttonText)
{
    const auto buttons = box->buttons();
    for (QAbstractButton* b : buttons) {
        if (b->text().remove('&') == QString(buttonText).remove('&')) {
            QMetaObject::invokeMethod(b, &QAbstractButton::click, Qt::QueuedConnection);
            return true;
        }
    }
    return false;
}

void ModalAnswerer::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    for (const QPointer<QWidget>& w : std::as_const(m_done)) {
        if (w == modal)
            return;
    }
    auto* box = qobject_cast<QMessageBox*>(modal);
    bool dealt = false;
    if (!m_answers.empty()) {
        dealt = m_answers.front()(modal);
        if (dealt)
            m_answers.pop();
    } else if (box && m_closeUnexpected) {
        QAbstractButton* b = box->escapeButton() ? box->escapeButton() : box->defaultButton();
        if (!b && !box->buttons().isEmpty())
            b = box->buttons().first();
        if (b) {
            QMetaObject::invokeMethod(b, &QAbstractButton::click, Qt::QueuedConnection);
            dealt = true;
        }
    }
    if (!dealt)
        return;
    if (box) {
        m_seen.append(box->text());
        m_icons.append(box->icon());
    }
    m_done.append(modal);
    ++m_handled;
}

bool ModalAnswerer::waitHandled(int n, int timeoutMs)
{
    return QTest::qWaitFor([this, n] { return m_handled >= n; }, timeoutMs);
}
