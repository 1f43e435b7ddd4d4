#include "app/ui/support/ModalAnswerer.h"

#include "app/ui/shared/Tips.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <algorithm>

namespace
{

// True while a handler answers a box that is not shown yet: clicks then land at once.
bool g_answeringNow = false;

void press(QAbstractButton* b)
{
    if (g_answeringNow)
        b->click();
    else // queued, so the click never runs inside a poll and the box's own loop ends normally
        QMetaObject::invokeMethod(b, &QAbstractButton::click, Qt::QueuedConnection);
}

} // namespace

ModalAnswerer::ModalAnswerer(QObject* parent)
    : QObject(parent)
    , m_timer(new QTimer(this))
{
    // The newest answerer alive takes the boxes, whatever order answerers go in.
    if (alive().empty()) {
        m_previousAnswerer = Tips::answerer();
        Tips::setAnswerer([](QMessageBox& box) { alive().back()->answerBox(box); });
    }
    alive().push_back(this);
    m_timer->setInterval(15);
    connect(m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer->start();
}

ModalAnswerer::~ModalAnswerer()
{
    auto& list = alive();
    const bool first = list.front() == this;
    list.erase(std::find(list.begin(), list.end(), this));
    if (list.empty())
        Tips::setAnswerer(m_previousAnswerer);
    else if (first)
        list.front()->m_previousAnswerer = m_previousAnswerer;
}

std::vector<ModalAnswerer*>& ModalAnswerer::alive()
{
    static std::vector<ModalAnswerer*> answerers;
    return answerers;
}

void ModalAnswerer::answer(QMessageBox::StandardButton button)
{
    m_answers.push({ [button](QWidget* modal) {
                        auto* box = qobject_cast<QMessageBox*>(modal);
                        return box && click(box, button);
                    },
        true });
}

void ModalAnswerer::answerText(const QString& buttonText)
{
    m_answers.push({ [buttonText](QWidget* modal) {
                        auto* box = qobject_cast<QMessageBox*>(modal);
                        return box && click(box, buttonText);
                    },
        true });
}

void ModalAnswerer::answerWith(const Handler& handler)
{
    m_answers.push({ handler, false });
}

bool ModalAnswerer::click(QMessageBox* box, QMessageBox::StandardButton button)
{
    QAbstractButton* b = box->button(button);
    if (!b)
        return false;
    press(b);
    return true;
}

bool ModalAnswerer::click(QMessageBox* box, const QString& buttonText)
{
    const auto buttons = box->buttons();
    for (QAbstractButton* b : buttons) {
        if (b->text().remove('&') == QString(buttonText).remove('&')) {
            press(b);
            return true;
        }
    }
    return false;
}

bool ModalAnswerer::closeUnexpected(QMessageBox* box, bool now)
{
    if (!box || !m_closeUnexpected)
        return false;
    // The box finds its escape button only when shown: look for it the same way (reject role,
    // then no role, then the only button), so an unexpected question is never answered Yes.
    QAbstractButton* b = box->escapeButton();
    const auto buttons = box->buttons();
    for (QMessageBox::ButtonRole role : { QMessageBox::RejectRole, QMessageBox::NoRole }) {
        for (QAbstractButton* candidate : buttons) {
            if (!b && box->buttonRole(candidate) == role)
                b = candidate;
        }
    }
    if (!b && buttons.size() == 1)
        b = buttons.first();
    if (!b)
        b = box->defaultButton();
    if (!b && !buttons.isEmpty())
        b = buttons.first();
    if (!b)
        return false;
    const bool saved = g_answeringNow;
    g_answeringNow = now;
    press(b);
    g_answeringNow = saved;
    return true;
}

void ModalAnswerer::record(QWidget* modal)
{
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        m_seen.append(box->text());
        m_icons.append(box->icon());
    }
    m_done.append(modal);
    ++m_handled;
}

void ModalAnswerer::answerBox(QMessageBox& box)
{
    bool dealt = false;
    if (m_answers.empty()) {
        dealt = closeUnexpected(&box, true);
    } else if (m_answers.front().beforeShown) {
        const bool saved = g_answeringNow;
        g_answeringNow = true;
        dealt = m_answers.front().handler(&box);
        g_answeringNow = saved;
        if (dealt)
            m_answers.pop();
    }
    // Otherwise the test's own handler gets the box once it is shown, as any modal window.
    if (dealt)
        record(&box);
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
        dealt = m_answers.front().handler(modal);
        if (dealt)
            m_answers.pop();
    } else {
        dealt = closeUnexpected(box, false);
    }
    if (dealt)
        record(modal);
}

bool ModalAnswerer::waitHandled(int n, int timeoutMs)
{
    return QTest::qWaitFor([this, n] { return m_handled >= n; }, timeoutMs);
}
