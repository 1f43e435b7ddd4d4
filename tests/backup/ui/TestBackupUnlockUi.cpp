#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "backup/support/GenBackup.h"
#include "backup/ui/BackupUnlockUi.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

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
        // The dialog is up while the worker derives the key, and cannot be cancelled.
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
        QVERIFY(!cancelable);
        m.parseInfo();
        QVERIFY(m.smsNode);
        BackupManifest::setUnlockRunner({});
    }
};

QTEST_MAIN(TestBackupUnlockUi)
#include "TestBackupUnlockUi.moc"
