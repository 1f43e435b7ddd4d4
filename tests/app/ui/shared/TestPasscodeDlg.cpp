#include "app/IdsTranslator.h"
#include "app/ShownText.h"
#include "app/support/SyntheticBackup.h"
#include "app/ui/shared/PasscodeDlg.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class TestPasscodeDlg : public QObject
{
    Q_OBJECT
    QString m_backup;

    // Types the text and presses OK; returns the texts of the boxes shown.
    static QStringList tryPassword(PasscodeDlg& dlg, const QString& text)
    {
        ModalAnswerer answerer;
        dlg.edPassword->setText(text);
        dlg.onBtnOkPressed();
        return answerer.seen();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_backup = TestEnv::tempDir() + "/locked";
        QVERIFY(SyntheticBackup::makeEncrypted(m_backup, "1234"));
    }

    void emptyPasswordIsAskedFor()
    {
        BackupManifest manifest(m_backup);
        manifest.readManifestInfo();
        PasscodeDlg dlg(&manifest);
        QCOMPARE(tryPassword(dlg, QString()), QStringList({ "IDS_PWD_IS_NULL" }));
        QVERIFY(dlg.result() != QDialog::Accepted);
        QVERIFY(!manifest.isUnlocked());
    }

    // The backup's name heads the dialog; one of megabytes (a Manifest.plist may take 8 MB) shows
    // a bounded head.
    void backupNameIsBounded_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        QTest::newRow("short") << "Anna's iPhone"
                               << "Anna's iPhone";
        QTest::newRow("7 MB") << QString(7 << 20, 'N')
                              << QString(ShownText::kMaxLine - 1, 'N') + QChar(0x2026);
    }
    void backupNameIsBounded()
    {
        QFETCH(QString, name);
        BackupManifest manifest(m_backup);
        manifest.readManifestInfo();
        manifest.displayName = name;
        PasscodeDlg dlg(&manifest);
        QTEST(dlg.lbBackup->text(), "shown");
    }

    void wrongPasswordThreeTimesThenRight()
    {
        BackupManifest manifest(m_backup);
        manifest.readManifestInfo();
        PasscodeDlg dlg(&manifest);
        QCOMPARE(dlg.edPassword->echoMode(), QLineEdit::Password);
        for (const char* wrong : { "0000", "12345", "abcd" }) {
            QCOMPARE(tryPassword(dlg, wrong), QStringList({ "IDS_INVALID_PASSWORD" }));
            QVERIFY(dlg.edPassword->text().isEmpty());
            QVERIFY(dlg.result() != QDialog::Accepted);
            QVERIFY(dlg.password.isEmpty());
        }
        QCOMPARE(tryPassword(dlg, "1234"), QStringList());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.password, QString("1234"));
        QVERIFY(manifest.isUnlocked());
    }

    void cancelledCheckKeepsTheDialogUsable()
    {
        BackupManifest manifest(m_backup);
        manifest.readManifestInfo();
        PasscodeDlg dlg(&manifest);
        // The user cancels the check as it starts: no box, the backup stays locked, and the
        // dialog takes the next try.
        BackupManifest::setUnlockRunner([](BackupManifest& m, const std::function<void()>& work) {
            m.cancelUnlock();
            work();
        });
        QCOMPARE(tryPassword(dlg, "1234"), QStringList());
        QVERIFY(dlg.result() != QDialog::Accepted);
        QVERIFY(!manifest.isUnlocked());
        QCOMPARE(dlg.edPassword->text(), QString("1234"));
        BackupManifest::setUnlockRunner({});
        QCOMPARE(tryPassword(dlg, "1234"), QStringList());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(manifest.isUnlocked());
    }

    void closingReturnsAnotherValue()
    {
        IdsTranslator english;
        QVERIFY(english.load(":/en.qm"));
        QCoreApplication::installTranslator(&english);
        BackupManifest manifest(m_backup);
        manifest.readManifestInfo();
        PasscodeDlg dlg(&manifest);
        QCoreApplication::removeTranslator(&english);
        ModalAnswerer answerer;
        answerer.answerWith([](QWidget* modal) {
            auto* form = qobject_cast<PasscodeDlg*>(modal);
            if (!form)
                return false;
            form->edPassword->setText("secret");
            GuiTestEnv::screenshot(form, "password-dialog");
            QMetaObject::invokeMethod(form->btnClose, &QPushButton::pressed, Qt::QueuedConnection);
            return true;
        });
        QVERIFY(dlg.exec() != 1);
        QVERIFY(!manifest.isUnlocked());
    }
};

QTEST_MAIN(TestPasscodeDlg)
#include "TestPasscodeDlg.moc"
