#include "app/ErrorReport.h"
#include "app/IdsTranslator.h"
#include "app/StyleSheet.h"
#include "app/support/LoopbackHttpServer.h"
#include "app/ui/shared/Tips.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/ModalAnswerer.h"
#include "support/ui/GuiTestEnv.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QtTest>

class TestTips : public QObject
{
    Q_OBJECT
private:
    IdsTranslator translator;

private Q_SLOTS:
    void initTestCase() { installEnglishTexts(translator); }

    void questionIsTrueOnlyForYes()
    {
        ModalAnswerer answerer;
        answerer.answer(QMessageBox::Yes);
        QVERIFY(Tips::question("Delete it?"));
        answerer.answer(QMessageBox::No);
        QVERIFY(!Tips::question("Delete it?"));
        // Closed without a choice (Escape): not a Yes.
        answerer.answerWith([](QWidget* modal) {
            QMetaObject::invokeMethod(
                modal, [modal] { QTest::keyClick(modal, Qt::Key_Escape); }, Qt::QueuedConnection);
            return true;
        });
        QVERIFY(!Tips::question("Delete it?"));
        QCOMPARE(answerer.seenIcons(), QList<QMessageBox::Icon>(3, QMessageBox::Question));
    }

    void buttonAnswersAreGivenBeforeTheBoxShows()
    {
        struct ShowCounter : QObject {
            int shown = 0;
            bool eventFilter(QObject* o, QEvent* e) override
            {
                if (e->type() == QEvent::Show && qobject_cast<QMessageBox*>(o))
                    ++shown;
                return false;
            }
        } counter;
        qApp->installEventFilter(&counter);
        ModalAnswerer answerer;
        answerer.answer(QMessageBox::No);
        QVERIFY(!Tips::question("Delete it?"));
        answerer.answerText("Yes");
        QVERIFY(Tips::question("Delete it?"));
        // Nothing queued: closed with its escape button, never with Yes.
        QVERIFY(!Tips::question("Delete it?"));
        Tips::info("Saved.");
        QCOMPARE(answerer.handled(), 4);
        QCOMPARE(counter.shown, 0);
        // A handler of the test's own gets the box as shown on screen.
        bool visible = false;
        answerer.answerWith([&](QWidget* modal) {
            visible = modal->isVisible();
            auto* box = qobject_cast<QMessageBox*>(modal);
            return box && ModalAnswerer::click(box, QMessageBox::Ok);
        });
        Tips::info("Saved.");
        QVERIFY(visible);
        QCOMPARE(counter.shown, 1);
        qApp->removeEventFilter(&counter);
    }

    void answererOfOnesOwn()
    {
        QStringList texts;
        Tips::setAnswerer([&](QMessageBox& box) {
            texts << box.text();
            box.button(QMessageBox::Yes)->click();
        });
        QVERIFY(Tips::question("Go on?"));
        Tips::setAnswerer(nullptr);
        QCOMPARE(texts, QStringList({ "Go on?" }));
        QVERIFY(!Tips::answerer());
    }

    void answerersEndInAnyOrder()
    {
        auto* older = new ModalAnswerer;
        {
            ModalAnswerer newer;
            delete older; // the newer one still takes the boxes
            newer.answer(QMessageBox::Yes);
            QVERIFY(Tips::question("Go on?"));
            QCOMPARE(newer.handled(), 1);
        }
        QVERIFY(!Tips::answerer());
    }

    void copyableWarningCanBeSelected()
    {
        ModalAnswerer answerer;
        Qt::TextInteractionFlags copyable, plain;
        auto flagsInto = [&](Qt::TextInteractionFlags& flags) {
            answerer.answerWith([&flags](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                flags = box ? box->textInteractionFlags() : Qt::TextInteractionFlags();
                return box && ModalAnswerer::click(box, QMessageBox::Ok);
            });
        };
        flagsInto(copyable);
        Tips::warningCopyable("Open it yourself:\nhttps://help.quillmarrow.example/");
        flagsInto(plain);
        Tips::warning("Plain.");
        QVERIFY(copyable.testFlag(Qt::TextSelectableByMouse));
        QCOMPARE(answerer.seenIcons(), QList<QMessageBox::Icon>(2, QMessageBox::Warning));
        QVERIFY(answerer.seen().value(0).endsWith("<br/>https://help.quillmarrow.example/"));
    }

    void boxesAreFramelessStyledAndTitled()
    {
        ModalAnswerer answerer;
        QMessageBox* seen = nullptr;
        Qt::WindowFlags flags;
        QString sheet, name, title;
        Qt::TextFormat format = Qt::AutoText;
        qsizetype buttons = 0;
        answerer.answerWith([&](QWidget* modal) {
            seen = qobject_cast<QMessageBox*>(modal);
            if (!seen)
                return false;
            flags = seen->windowFlags();
            sheet = seen->styleSheet();
            name = seen->objectName();
            title = seen->windowTitle();
            format = seen->textFormat();
            buttons = seen->buttons().size();
            GuiTestEnv::screenshot(seen, "tips-warning");
            return ModalAnswerer::click(seen, QMessageBox::Ok);
        });
        Tips::warning("The backup folder <b>Backup 1</b> is not readable.");
        QVERIFY(seen);
        QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
        QCOMPARE(sheet, getStyleSheet());
        QCOMPARE(name, QString(Tips::objectName));
        QCOMPARE(title, Tips::title());
        QCOMPARE(format, Qt::RichText);
        QCOMPARE(buttons, 1);
        QCOMPARE(answerer.seenIcons(), QList<QMessageBox::Icon>({ QMessageBox::Warning }));
        Tips::info("Saved.");
        QCOMPARE(answerer.seenIcons().value(1), QMessageBox::Information);
    }

    void plainTextIsEscaped()
    {
        ModalAnswerer answerer;
        Tips::info("Cannot open a<b.txt\nsecond line");
        QCOMPARE(answerer.seen().value(0), QString("Cannot open a&lt;b.txt<br/>second line"));
        // An error's quotes and ampersands show as they are, escaped once.
        Tips::error("Cannot read a<b.db: its \"t\" is a view & more");
        QVERIFY2(answerer.seen().value(1).contains(
                     "Cannot read a&lt;b.db: its &quot;t&quot; is a view &amp; more</p>"),
            qPrintable(answerer.seen().value(1)));
        // A text naming a record of megabytes shows its head, marked.
        const QString name(4 * 1024 * 1024, QChar('n'));
        Tips::plainError("Cannot read " + name + ".");
        Tips::warning("Cannot save " + name + ".");
        for (int i : { 2, 3 })
            QVERIFY(
                answerer.seen().value(i).size() < 10000 && answerer.seen().value(i).contains(QString("n…")));
    }

    void errorIsFramedAndReported()
    {
        LoopbackHttpServer server;
        ErrorReport::setServiceBase(server.baseUrl());
        ModalAnswerer answerer;
        answerer.answerWith([](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box)
                return false;
            GuiTestEnv::screenshot(box, "tips-error");
            return ModalAnswerer::click(box, QMessageBox::Ok);
        });
        Tips::error("Unable to read Manifest.db.");
        QCOMPARE(answerer.seenIcons(), QList<QMessageBox::Icon>({ QMessageBox::Critical }));
        const QString shown = answerer.seen().value(0);
        QVERIFY2(shown.contains("Unable to read Manifest.db.") && shown.contains("error occurred"),
            qPrintable(shown));
        // The report carries the bare text, not the frame.
        QVERIFY(server.waitForRequests(1));
        QCOMPARE(server.requests().at(0).method, QByteArray("POST"));
        QCOMPARE(server.requests().at(0).body, ErrorReport::body("Unable to read Manifest.db."));
        ErrorReport::setServiceBase(QUrl());
    }

    void errorReportIsSentOnlyAfterTheBoxCloses()
    {
        LoopbackHttpServer server;
        ErrorReport::setServiceBase(server.baseUrl());
        ModalAnswerer answerer;
        int requestsWhileOpen = -1;
        answerer.answerWith([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box)
                return false;
            QTest::qWait(100);
            requestsWhileOpen = int(server.requests().size());
            return ModalAnswerer::click(box, QMessageBox::Ok);
        });
        Tips::error("late");
        QCOMPARE(requestsWhileOpen, 0);
        QVERIFY(server.waitForRequests(1));
        ErrorReport::setServiceBase(QUrl());
    }
};

QTEST_MAIN(TestTips)
#include "TestTips.moc"
