#include "app/AppInfo.h"
#include "app/IdsTranslator.h"
#include "app/ui/AboutUsForm.h"
#include "app/ui/support/ModalAnswerer.h"
#include "support/ui/GuiTestEnv.h"

#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

class TestAboutUsForm : public QObject
{
    Q_OBJECT
    IdsTranslator m_translator;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_translator.load(":/en.qm"));
        QCoreApplication::installTranslator(&m_translator);
    }

    void showsNameVersionAndHomePage()
    {
        AboutUsForm dlg;
        QCOMPARE(dlg.lbProduct->text(), QString("Quillmarrow v3.1.39"));
        QCOMPARE(dlg.lbTitle->text(), QString("About"));
        QVERIFY(dlg.lbHomePage->openExternalLinks());
        QVERIFY(dlg.lbHomePage->text().contains(QString("href=\"%1\"").arg(AppInfo::homePage())));
        QVERIFY(dlg.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(dlg.picApp->scene());
        QCOMPARE(dlg.picApp->scene()->items().size(), 1);
        QCOMPARE(dlg.size(), QSize(400, 194));
    }

    void okCloses()
    {
        AboutUsForm dlg;
        ModalAnswerer answerer;
        answerer.answerWith([](QWidget* modal) {
            auto* form = qobject_cast<AboutUsForm*>(modal);
            if (!form)
                return false;
            GuiTestEnv::screenshot(form, "about-box");
            QMetaObject::invokeMethod(form->btnOK, &QPushButton::pressed, Qt::QueuedConnection);
            return true;
        });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(TestAboutUsForm)
#include "TestAboutUsForm.moc"
