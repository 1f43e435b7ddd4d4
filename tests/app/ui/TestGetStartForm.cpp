#include "app/IdsTranslator.h"
#include "app/ui/GetStartForm.h"
#include "support/ui/GuiTestEnv.h"

#include <QLabel>
#include <QtTest>

class TestGetStartForm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsTheThreeSteps()
    {
        GetStartForm page;
        page.resize(800, 600);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QVERIFY(page.label->text().contains("Getting Started"));
        QVERIFY(page.label_3->text().startsWith("<p style=\"font-size:18px\">1 Click"));
        QVERIFY(page.label_4->text().contains("\"Load\""));
        QVERIFY(page.label_5->text().contains("mi_export-sms.png"));
        // Every picture the texts name is a resource of the program.
        for (const char* res : { ":/res/load_itunes.png", ":/res/mi_export-sms.png", ":/res/getstart.png" })
            QVERIFY2(!QPixmap(res).isNull(), res);
        QVERIFY(page.label_2->sizeHint().height() >= 150);
        GuiTestEnv::screenshot(&page, "getting-started");
    }
};

QTEST_MAIN(TestGetStartForm)
#include "TestGetStartForm.moc"
