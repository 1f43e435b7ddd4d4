#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/HeldManifestReads.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "backup/support/GenBackup.h"
#include "backup/ui/BackupUnlockUi.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <optional>

class TestBackupUnlockUi : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void checksPasswordUnderProgressDialog()
    {
        const QString dir = GenBackup::make({ "--password", "pw", "--iter", "5", "--dpic", "200000" });
        QVERIFY(!dir.isEmpty());
        BackupUnlockUi::install();
        BackupManifest m(dir);
        m.readManifestInfo();
        // The dialog is up while the worker derives the key, and can be cancelled.
        bool sawDialog = false;
        bool cancelable = false;
        QTimer probe;
        probe.setInterval(1);
        connect(&probe, &QTimer::timeout, [&] {
            if (auto* form = qobject_cast<ProgressForm*>(QApplication::activeModalWidget())) {
                sawDialog = true;
                for (auto* b : form->findChildren<QPushButton*>())
                    cancelable = cancelable || (b->isVisible() && b->isEnabled());
            }
        });
        probe.start();
        QVERIFY(!m.setPasscode("nope"));
        QVERIFY(m.setPasscode("pw"));
        probe.stop();
        QVERIFY(m.isUnlocked());
        QVERIFY(sawDialog);
        QVERIFY(cancelable);
        m.parseInfo();
        QVERIFY(m.smsNode);
        BackupManifest::setUnlockRunner({});
    }

    void cancelStopsASlowCheck()
    {
        const QString dir = GenBackup::make({ "--password", "pw", "--iter", "5", "--dpic", "200000" });
        QVERIFY(!dir.isEmpty());
        // The keybag now asks for fifty million rounds: about a minute of work per attempt.
        QFile plist(dir + "/Manifest.plist");
        QVERIFY(plist.open(QIODevice::ReadWrite));
        QByteArray bytes = plist.readAll();
        const qsizetype at = bytes.indexOf(QByteArray("DPIC\0\0\0\x04", 8));
        QVERIFY(at > 0);
        bytes.replace(at + 8, 4, QByteArray("\x02\xfa\xf0\x80", 4)); // 50,000,000
        plist.seek(0);
        plist.write(bytes);
        plist.close();

        BackupUnlockUi::install();
        BackupManifest m(dir);
        m.readManifestInfo();
        ModalAnswerer answerer;
        answerer.answerWith([](QWidget* modal) {
            auto* form = qobject_cast<ProgressForm*>(modal);
            if (!form)
                return false;
            // Escape on the dialog: it asks, and the answer below confirms.
            QTimer::singleShot(100, form, [form] { QTest::keyClick(form, Qt::Key_Escape); });
            return true;
        });
        answerer.answer(QMessageBox::Yes);
        QElapsedTimer timer;
        timer.start();
        QVERIFY_THROWS_EXCEPTION(BackupKeyBag::Cancelled, m.setPasscode("pw"));
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(!m.isUnlocked());
        QCOMPARE(answerer.seen(), QStringList({ "Are You Sure You Want To Cancel?" }));
        BackupManifest::setUnlockRunner({});
    }

    // The manifest read again and decrypted wait on the backup's disk: the window answers.
    void checkOnADiskThatWaitsLeavesTheWindowAnswering_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("waited for") << false << false;
        QTest::newRow("wait cancelled") << false << true;
        QTest::newRow("plist damaged since the listing") << true << false;
    }
    void checkOnADiskThatWaitsLeavesTheWindowAnswering()
    {
        QFETCH(bool, damaged);
        QFETCH(bool, cancel);
        const QString dir = GenBackup::make({ "--password", "pw", "--iter", "5", "--dpic", "1000" });
        QVERIFY(!dir.isEmpty());
        BackupUnlockUi::install();
        BackupManifest m(dir);
        m.readManifestInfo();
        QFile plist(dir + "/Manifest.plist");
        if (damaged)
            QVERIFY(plist.open(QIODevice::WriteOnly | QIODevice::Truncate) && plist.write("no plist") > 0);
        plist.close();
        HeldManifestReads reads({ dir });
        reads.releaseAfterWatching(1000);
        std::optional<ModalAnswerer> answerer;
        if (cancel) {
            answerer.emplace();
            answerer->answerWith([](QWidget* modal) {
                auto* form = qobject_cast<ProgressForm*>(modal);
                if (form)
                    QTimer::singleShot(100, form, [form] { QTest::keyClick(form, Qt::Key_Escape); });
                return form != nullptr;
            });
            answerer->answer(QMessageBox::Yes);
        }
        QString error;
        bool unlocked = false;
        try {
            unlocked = m.setPasscode("pw");
        } catch (const BackupKeyBag::Cancelled&) {
            error = "cancelled";
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        BackupManifest::setUnlockRunner({});
        QVERIFY2(reads.longestGap() >= 0 && reads.longestGap() < 200,
            qPrintable(QString::number(reads.longestGap())));
        QCOMPARE(reads.dialogStatus(), QString("IDS_CHECKING_BACKUP_PASSWORD"));
        QCOMPARE(m.isUnlocked(), !cancel && !damaged);
        QCOMPARE(unlocked, !cancel && !damaged);
        if (cancel) {
            QCOMPARE(error, QString("cancelled"));
            QVERIFY(reads.cancelSeen());
        } else if (damaged) {
            QVERIFY2(error.contains(dir + "/Manifest.plist"), qPrintable(error));
        } else {
            m.parseInfo();
            QVERIFY(m.smsNode);
        }
    }
};

QTEST_MAIN(TestBackupUnlockUi)
#include "TestBackupUnlockUi.moc"
