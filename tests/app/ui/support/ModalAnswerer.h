#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <queue>
#include <vector>

class QTimer;
class QWidget;

// Answers the modal windows a test opens (message boxes, dialogs run with exec()), so offscreen GUI
// tests never hang. Each new modal window takes the next queued answer. The program's message
// boxes (Tips) are handed over before they are shown: a button answer (answer(), answerText()) or
// no answer at all is given at once, without showing the box or running an event loop. Answers of
// the test's own (answerWith()) and other modal windows (dialogs, boxes run by hand) get the
// window once it is shown, looked for every few milliseconds. A message box with no answer queued
// is closed with its escape button (else its only or default one), so an unexpected box shows up
// in seen() instead of blocking.
//
//     ModalAnswerer answerer;
//     answerer.answer(QMessageBox::Yes);            // the next box gets Yes
//     QVERIFY(Tips::question("Go on?"));
//     QCOMPARE(answerer.seen().size(), 1);
class ModalAnswerer : public QObject
{
    Q_OBJECT
public:
    // A handler gets the modal widget and returns true when it dealt with it; false leaves it
    // for the next poll (e.g. the widget is not the kind it expects).
    using Handler = std::function<bool(QWidget* modal)>;

    explicit ModalAnswerer(QObject* parent = nullptr);
    ~ModalAnswerer() override;

    // Queue answers, used in order by the modal windows that appear.
    void answer(QMessageBox::StandardButton button);
    void answerText(const QString& buttonText);
    void answerWith(const Handler& handler);

    // When false, only message boxes are closed when no answer is queued; other dialogs (e.g. a
    // ProgressForm) are left alone. True by default for message boxes, always false for dialogs.
    void setCloseUnexpectedBoxes(bool close) { m_closeUnexpected = close; }

    // Texts of the message boxes handled so far, in order (rich text as set).
    const QStringList& seen() const { return m_seen; }
    // Icons of the message boxes handled so far, in order.
    const QList<QMessageBox::Icon>& seenIcons() const { return m_icons; }
    int pending() const { return int(m_answers.size()); }

    // Runs the event loop until n windows have been handled or the time is up.
    bool waitHandled(int n, int timeoutMs = 5000);
    int handled() const { return m_handled; }

    // Clicks a standard button of a box, or the button with that text.
    static bool click(QMessageBox* box, QMessageBox::StandardButton button);
    static bool click(QMessageBox* box, const QString& buttonText);

private slots:
    void poll();

private:
    // Answers a box before it is shown; it runs as usual when no answer took it.
    void answerBox(QMessageBox& box);
    bool closeUnexpected(QMessageBox* box, bool now);
    void record(QWidget* modal);
    static std::vector<ModalAnswerer*>& alive();

    QTimer* m_timer;
    struct Answer {
        Handler handler;
        bool beforeShown; // a plain button answer, given before the box is shown
    };
    std::queue<Answer> m_answers;
    QList<QPointer<QWidget>> m_done; // windows already handled
    QStringList m_seen;
    QList<QMessageBox::Icon> m_icons;
    int m_handled = 0;
    bool m_closeUnexpected = true;
    std::function<void(QMessageBox&)> m_previousAnswerer;
};
