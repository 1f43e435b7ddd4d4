#include "app/DataPaths.h"
#include "app/IdsTranslator.h"
#include "app/ui/shared/LocalDbSelForm.h"
#include "app/ui/support/ModalAnswerer.h"
#include "support/ui/GuiTestEnv.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QtTest>

class TestLocalDbSelForm : public QObject
{
    Q_OBJECT

    QDir root() const { return g_localDbDir(); }
    QStringList folders() const
    {
        return root().entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    }

    // Types the name and presses OK; returns the warning shown, or empty when none.
    QString pressOk(LocalDbSelForm& dlg, const QString& typed, bool setText = true)
    {
        ModalAnswerer answerer;
        if (setText)
            dlg.cbLocalDbNames->setEditText(typed);
        dlg.onBtnOkPress();
        return answerer.seen().value(0);
    }

private Q_SLOTS:
    // The form builds on any dialog, as a form file's class does.
    void formOnAPlainDialog()
    {
        QDialog dialog;
        Ui_LocalDbSelForm form;
        form.setupUi(&dialog);
        QCOMPARE(dialog.objectName(), QString("LocalDbSelForm"));
        QCOMPARE(dialog.minimumSize(), QSize(423, 156));
        QCOMPARE(dialog.maximumSize(), QSize(423, 156));
        QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(form.cbLocalDbNames->isEditable());
        QCOMPARE(form.cbLocalDbNames->geometry(), QRect(10, 40, 401, 22));
        QCOMPARE(dialog.findChild<QPushButton*>("btnOK"), form.btnOK);
        QCOMPARE(dialog.findChild<QPushButton*>("btnClose"), form.btnClose);
    }

    void init()
    {
        g_delDirCascade(root().absolutePath());
        QDir(root().absolutePath()).removeRecursively();
    }

    void listsExistingDatabasesAfterAnEmptyItem()
    {
        root().mkpath("alpha");
        root().mkpath("beta");
        root().mkpath(".hidden");
        LocalDbSelForm dlg(nullptr, QString());
        QStringList items;
        for (int i = 0; i < dlg.cbLocalDbNames->count(); ++i)
            items << dlg.cbLocalDbNames->itemText(i);
        QCOMPARE(items.value(0), QString());
        items.removeFirst();
        items.sort();
        QCOMPARE(items, QStringList({ "alpha", "beta" }));
        QCOMPARE(dlg.cbLocalDbNames->currentIndex(), -1);
        QVERIFY(dlg.cbLocalDbNames->currentText().isEmpty());
        QVERIFY(dlg.cbLocalDbNames->isEditable());
        QCOMPARE(dlg.size(), QSize(423, 156));
    }

    void newNameCreatesTheFolder()
    {
        LocalDbSelForm dlg(nullptr, QString());
        QCOMPARE(dlg.cbLocalDbNames->count(), 1);
        QCOMPARE(pressOk(dlg, "  Work Phone  "), QString());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(folders(), QStringList({ "Work Phone" }));
        QCOMPARE(dlg.dbDir.absolutePath(), root().absoluteFilePath("Work Phone"));
    }

    void presetNameIsUsedAtOnce()
    {
        LocalDbSelForm dlg(nullptr, "MAC_Messages_Backup");
        QCOMPARE(dlg.cbLocalDbNames->currentText(), QString("MAC_Messages_Backup"));
        QCOMPARE(dlg.cbLocalDbNames->count(), 1); // the list is not changed
        QCOMPARE(pressOk(dlg, QString(), false), QString());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(QFileInfo(root().absoluteFilePath("MAC_Messages_Backup")).isDir());
    }

    void existingNameIsReused()
    {
        root().mkpath("alpha");
        QFile f(root().absoluteFilePath("alpha/contacts.db"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        LocalDbSelForm dlg(nullptr, QString());
        dlg.cbLocalDbNames->setCurrentIndex(dlg.cbLocalDbNames->findText("alpha"));
        QCOMPARE(pressOk(dlg, QString(), false), QString());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(dlg.dbDir.exists("contacts.db"));
    }

    void emptyNameAsksForOne_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("nothing") << QString();
        QTest::newRow("spaces") << QString("   ");
    }
    void emptyNameAsksForOne()
    {
        QFETCH(QString, typed);
        LocalDbSelForm dlg(nullptr, QString());
        QCOMPARE(pressOk(dlg, typed), QString("IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME"));
        QVERIFY(dlg.result() != int(QDialog::Accepted));
        QVERIFY(folders().isEmpty());
    }

    void invalidNamesAreRefused_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("colon") << QString("a:b");
        QTest::newRow("slash") << QString("a/b");
        QTest::newRow("backslash") << QString("a\\b");
        QTest::newRow("quote") << QString("a\"b");
        QTest::newRow("pipe") << QString("a|b");
        QTest::newRow("star") << QString("*");
        QTest::newRow("tab inside") << QString("a\tb");
        // Names made only of dots would name the folder itself, its parent or a hidden entry.
        QTest::newRow("dot") << QString(".");
        QTest::newRow("two dots") << QString("..");
        QTest::newRow("three dots") << QString(" ... ");
    }
    void invalidNamesAreRefused()
    {
        QFETCH(QString, typed);
        const QStringList besideBefore
            = QDir(root().absoluteFilePath("..")).entryList(QDir::AllEntries | QDir::Hidden);
        LocalDbSelForm dlg(nullptr, QString());
        QCOMPARE(pressOk(dlg, typed), QString("IDS_INVALID_LOCALDB_NAME"));
        QVERIFY(dlg.result() != int(QDialog::Accepted));
        QVERIFY(folders().isEmpty());
        QCOMPARE(
            QDir(root().absoluteFilePath("..")).entryList(QDir::AllEntries | QDir::Hidden), besideBefore);
    }

    void dotsInsideANameAreFine()
    {
        LocalDbSelForm dlg(nullptr, QString());
        QCOMPARE(pressOk(dlg, "v1.2"), QString());
        QCOMPARE(folders(), QStringList({ "v1.2" }));
    }

    void cancelAcceptsNothing()
    {
        IdsTranslator english;
        QVERIFY(english.load(":/en.qm"));
        QCoreApplication::installTranslator(&english);
        LocalDbSelForm dlg(nullptr, "x");
        QCoreApplication::removeTranslator(&english);
        QCOMPARE(dlg.btnOK->text(), QString("Confirm"));
        ModalAnswerer answerer;
        answerer.answerWith([](QWidget* modal) {
            auto* form = qobject_cast<LocalDbSelForm*>(modal);
            if (!form)
                return false;
            GuiTestEnv::screenshot(form, "local-db-choice");
            QMetaObject::invokeMethod(form->btnClose, &QPushButton::pressed, Qt::QueuedConnection);
            return true;
        });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
        QVERIFY(folders().isEmpty());
    }
};

QTEST_MAIN(TestLocalDbSelForm)
#include "TestLocalDbSelForm.moc"
