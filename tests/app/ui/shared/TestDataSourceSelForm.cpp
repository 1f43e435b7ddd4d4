#include "app/ui/shared/DataSourceSelForm.h"
#include "app/ui/support/ModalAnswerer.h"
#include "device/IOSDeviceMonitor.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

class TestDataSourceSelForm : public QObject
{
    Q_OBJECT

    static IOSDeviceMonitor* monitor() { return IOSDeviceMonitor::getInstance(); }
    static void attach(const QString& udid, const QString& name, bool announce = true)
    {
        auto device = QSharedPointer<_IOSDevice>::create();
        device->udid = udid;
        device->deviceName = name;
        monitor()->devices.insert(udid, device);
        if (announce)
            Q_EMIT monitor()->deviceConnected(udid);
    }
    static void detach(const QString& udid)
    {
        Q_EMIT monitor()->deviceDisconnected(udid);
        monitor()->devices.remove(udid);
    }
    static QStringList names(const DataSourceSelForm& dlg)
    {
        QStringList list;
        for (int i = 0; i < dlg.cbDevice->count(); ++i)
            list << dlg.cbDevice->itemText(i);
        return list;
    }

private Q_SLOTS:
    void formOnAPlainDialog()
    {
        QDialog dialog;
        Ui_DataSourceSelForm form;
        form.setupUi(&dialog);
        QCOMPARE(dialog.objectName(), QString("DataSourceSelForm"));
        QCOMPARE(dialog.windowTitle(), QString("DataSourceSelForm"));
        QCOMPARE(dialog.size(), QSize(427, 138));
        QVERIFY(!form.cbDevice->isEditable());
        QCOMPARE(form.lbSelDevice->geometry(), QRect(10, 10, 401, 16));
        QCOMPARE(dialog.findChild<QPushButton*>("btnOK"), form.btnOK);
        QCOMPARE(dialog.findChild<QPushButton*>("btnClose"), form.btnClose);
    }

    void init() { monitor()->devices.clear(); }

    void noDeviceWarnsThenFollowsAttach()
    {
        DataSourceSelForm dlg;
        QCOMPARE(dlg.cbDevice->count(), 0);
        {
            ModalAnswerer answerer;
            dlg.onBtnOkPressed();
            QCOMPARE(answerer.seen(), QStringList({ "IDS_PLEASE_SELECT_ONE_DATASOURCE" }));
        }
        QVERIFY(dlg.result() != QDialog::Accepted);
        attach("udid-b", "Bob's iPhone");
        QCOMPARE(names(dlg), QStringList({ "Bob's iPhone" }));
        QCOMPARE(dlg.cbDevice->currentIndex(), 0);
        // Reported twice: listed once.
        Q_EMIT monitor()->deviceConnected("udid-b");
        QCOMPARE(dlg.cbDevice->count(), 1);
        // Announced but no longer in the list: ignored.
        Q_EMIT monitor()->deviceConnected("udid-ghost");
        QCOMPARE(dlg.cbDevice->count(), 1);
        dlg.onBtnOkPressed();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.udid, QString("udid-b"));
    }

    void oneDeviceIsChosenAtOnce()
    {
        attach("udid-a", "Anna's iPad", false);
        DataSourceSelForm dlg;
        QCOMPARE(dlg.cbDevice->currentIndex(), 0);
        QCOMPARE(dlg.cbDevice->currentData().toString(), QString("udid-a"));
        ModalAnswerer answerer;
        dlg.onBtnOkPressed();
        QCOMPARE(answerer.seen(), QStringList());
        QCOMPARE(dlg.udid, QString("udid-a"));
    }

    void twoDevicesNeedAChoice()
    {
        attach("udid-b", "Bob's iPhone", false);
        attach("udid-a", "Anna's iPad", false);
        DataSourceSelForm dlg;
        // In UDID order, nothing chosen.
        QCOMPARE(names(dlg), QStringList({ "Anna's iPad", "Bob's iPhone" }));
        QCOMPARE(dlg.cbDevice->currentIndex(), -1);
        attach("udid-c", "Carl's iPhone");
        QCOMPARE(dlg.cbDevice->count(), 3);
        QCOMPARE(dlg.cbDevice->currentIndex(), -1);
        {
            ModalAnswerer answerer;
            dlg.onBtnOkPressed();
            QCOMPARE(answerer.seen().size(), 1);
        }
        dlg.cbDevice->setCurrentIndex(1);
        detach("udid-unknown");
        QCOMPARE(dlg.cbDevice->count(), 3);
        detach("udid-a");
        QCOMPARE(names(dlg), QStringList({ "Bob's iPhone", "Carl's iPhone" }));
        dlg.onBtnOkPressed();
        QCOMPARE(dlg.udid, QString("udid-b"));
    }

    void cancelKeepsTheChoiceEmpty()
    {
        attach("udid-a", "Anna's iPad", false);
        DataSourceSelForm dlg;
        ModalAnswerer answerer;
        answerer.answerWith([](QWidget* modal) {
            auto* form = qobject_cast<DataSourceSelForm*>(modal);
            if (!form)
                return false;
            QMetaObject::invokeMethod(form->btnClose, &QPushButton::pressed, Qt::QueuedConnection);
            return true;
        });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
        QVERIFY(dlg.udid.isEmpty());
    }
};

QTEST_MAIN(TestDataSourceSelForm)
#include "TestDataSourceSelForm.moc"
