#include "app/ShownText.h"
#include "messages/store/MsgChat.h"
#include "messages/store/MsgMessage.h"
#include "messages/ui/ItemModelSMSHandle.h"
#include "messages/ui/ItemModelSms.h"
#include "messages/ui/support/MsgModelBuilder.h"
#include "support/ui/PaintedTexts.h"

#include <QBrush>
#include <QPixmap>
#include <QtTest>

// What the message list shows of each message, role by role.
class TestItemModelSms : public QObject
{
    Q_OBJECT
    // Three messages of one conversation, a second apart, into model.
    static void loadThree(MsgModelBuilder& b, ItemModelSms& model)
    {
        _MsgChat* chat = b.chat("c", { b.handle("1") });
        for (int i = 0; i < 3; ++i)
            b.message(chat, nullptr, 400000000 + i, QString::number(i));
        model.loadSMS(b.messages());
    }

private Q_SLOTS:
    void roles_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<bool>("fromMe");
        QTest::addColumn<bool>("recovered");
        QTest::addColumn<int>("itemType");
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QColor>("background");
        QTest::addColumn<QString>("icon");
        const QColor white(255, 255, 255), green(245, 255, 226);
        QTest::newRow("SMS received")
            << "SMS" << false << false << 0 << "From" << white << ":/res/icon_sms-receive.png";
        QTest::newRow("SMS sent") << "SMS" << true << false << 0 << "To" << green
                                  << ":/res/icon_sms-sent.png";
        QTest::newRow("iMessage received, any case")
            << "imessage" << false << false << 0 << "From" << white << ":/res/imsg-rec.png";
        QTest::newRow("iMessage sent")
            << "iMessage" << true << false << 0 << "To" << green << ":/res/imsg-send.png";
        QTest::newRow("no service is SMS")
            << "" << true << false << 0 << "To" << green << ":/res/icon_sms-sent.png";
        QTest::newRow("recovered") << "SMS" << false << true << 0 << "From" << white
                                   << ":/res/icon_sms-receive.png";
        QTest::newRow("group event") << "iMessage" << false << false << 1 << "" << white
                                     << ":/res/imsg-rec.png";
    }
    void roles()
    {
        QFETCH(QString, service);
        QFETCH(bool, fromMe);
        QFETCH(bool, recovered);
        QFETCH(int, itemType);
        QFETCH(QString, flag);
        QFETCH(QColor, background);
        QFETCH(QString, icon);
        MsgModelBuilder b;
        _MsgHandle* ann = b.handle("+15550101", "Ann Lee");
        _MsgHandle* bob = b.handle("+15550102", "Bob");
        _MsgChat* group = b.chat("chat1", { ann, bob }, "Friends");
        _MsgMessage* m = b.message(group, fromMe ? nullptr : ann, 400000000, "hello", fromMe);
        m->service = service;
        m->_recovered = recovered;
        m->item_type = itemType;
        ItemModelSms model;
        model.loadSMS(b.messages());
        QCOMPARE(model.columnCount(), 4);
        const auto at = [&](int column, int role) { return model.data(model.index(0, column), role); };
        QCOMPARE(at(1, Qt::DisplayRole).toString(), flag);
        // The contact: the conversation, with the sender when more than one take part.
        const QString contact = at(2, Qt::DisplayRole).toString();
        QVERIFY2(contact.startsWith("Friends"), qPrintable(contact));
        QCOMPARE(contact.contains("Ann Lee"), !fromMe && itemType == 0);
        for (int column = 0; column < 4; ++column)
            QCOMPARE(at(column, Qt::BackgroundRole).value<QBrush>().color(), background);
        QCOMPARE(at(0, Qt::ForegroundRole).isValid(), recovered);
        if (recovered)
            QCOMPARE(at(0, Qt::ForegroundRole).value<QBrush>().color(), QColor(255, 0, 0));
        const QPixmap shown = at(0, Qt::DecorationRole).value<QPixmap>();
        QCOMPARE(shown.toImage(), QPixmap(icon).scaledToWidth(18, Qt::FastTransformation).toImage());
        QVERIFY(!at(1, Qt::DecorationRole).isValid()); // only the first column has an icon
        QCOMPARE(at(0, Qt::SizeHintRole).toSize().height(), 23);
        QVERIFY(!at(0, 14).isValid());
    }

    // A message of 20 MB (words or emoji), or a conversation or contact named with 1 MB, costs its
    // row what a short one does: the cell and its tool tip get a short head of the text and a mark
    // saying it is cut.
    void longContentIsCut_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("chatName");
        QTest::addColumn<QString>("contactName");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        const QString cut = "\n[Cut here: only the first 500 characters of the text are shown.]";
        const QString mark = QString(QChar(0x2026));
        QTest::newRow("words") << QString("plain words ").repeated(1750000) << ""
                               << "" << 3 << "plain words plain" << cut;
        QTest::newRow("emoji") << QString::fromUtf8("\xF0\x9F\x98\x80 ").repeated(3500000) << ""
                               << "" << 3 << "[EMOJI] [EMOJI]" << cut;
        QTest::newRow("conversation named with 1 MB")
            << "hi" << QString(1 << 20, 'N') << "Ann" << 2 << "NNNN" << mark;
        QTest::newRow("contact named with 1 MB")
            << "hi"
            << "" << QString("Ann ").repeated(1 << 18) << 2 << "Ann Ann" << mark;
    }
    void longContentIsCut()
    {
        QFETCH(QString, text);
        QFETCH(QString, chatName);
        QFETCH(QString, contactName);
        QFETCH(int, column);
        QFETCH(QString, start);
        QFETCH(QString, end);
        MsgModelBuilder b;
        b.message(b.chat("c", { b.handle("1", contactName) }, chatName), nullptr, 400000000, text);
        ItemModelSms model;
        model.loadSMS(b.messages());
        QElapsedTimer clock;
        clock.start();
        for (const int role : { int(Qt::DisplayRole), int(Qt::ToolTipRole) }) {
            const QString shown = model.data(model.index(0, column), role).toString();
            QVERIFY(shown.startsWith(start));
            QVERIFY2(shown.endsWith(end), qPrintable(shown.right(80)));
            QVERIFY(shown.size() <= ShownText::kMaxLine);
        }
        const qsizetype painted = PaintedTexts::longest(&model);
        QVERIFY2(painted > 0 && painted <= ShownText::kMaxLine, qPrintable(QString::number(painted)));
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    }

    // The conversation list hands its delegate a bounded name, whatever the conversation, or the
    // contacts taking part, are named: its paint costs milliseconds, not the name's length.
    void chatListNamesAreBounded_data()
    {
        QTest::addColumn<QString>("chatName");
        QTest::addColumn<QStringList>("contactNames");
        QTest::addColumn<QString>("start");
        const QString mb(1 << 20, 'N');
        QTest::newRow("short name") << "" << QStringList { "Ann" } << "Ann (1)";
        QTest::newRow("conversation named with 1 MB") << mb << QStringList { "Ann" } << "NNNN";
        QTest::newRow("contact named with 1 MB") << "" << QStringList { mb } << "NNNN";
        QTest::newRow("group of 1 MB names") << "" << QStringList { mb, mb, mb } << "NNNN";
    }
    void chatListNamesAreBounded()
    {
        QFETCH(QString, chatName);
        QFETCH(QStringList, contactNames);
        QFETCH(QString, start);
        MsgModelBuilder b;
        QList<_MsgHandle*> handles;
        for (const QString& name : std::as_const(contactNames))
            handles.append(b.handle(QString::number(handles.size() + 1), name));
        b.message(b.chat("c", handles, chatName, 400000000), nullptr, 400000000, "hi");
        ItemModelSMSHandle model;
        model.loadHandles(b.data.chatMergeList());
        QCOMPARE(model.rowCount(), 1);
        for (const int role : { int(Qt::DisplayRole), int(Qt::ToolTipRole) }) {
            const QString shown = model.data(model.index(0, 0), role).toString();
            QVERIFY(shown.startsWith(start));
            QVERIFY(shown.size() <= ShownText::kMaxLine);
        }
        const qsizetype painted = PaintedTexts::longest(&model);
        QVERIFY2(painted > 0 && painted <= ShownText::kMaxLine, qPrintable(QString::number(painted)));
    }

    // The bounds a view relies on when it walks the list, and rows that never have children.
    void indexBounds_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("underARow");
        QTest::addColumn<bool>("valid");
        QTest::newRow("first row, date") << 0 << 0 << false << true;
        QTest::newRow("last row, content") << 2 << 3 << false << true;
        QTest::newRow("row before the first") << -1 << 0 << false << false;
        QTest::newRow("row past the last") << 3 << 0 << false << false;
        QTest::newRow("column before the first") << 0 << -1 << false << false;
        QTest::newRow("column past the last") << 0 << 4 << false << false;
        QTest::newRow("under a row") << 0 << 0 << true << false;
    }
    void indexBounds()
    {
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(bool, underARow);
        QFETCH(bool, valid);
        MsgModelBuilder b;
        ItemModelSms model;
        loadThree(b, model);
        const QModelIndex parent = underARow ? model.index(0, 0) : QModelIndex();
        const QModelIndex index = model.index(row, column, parent);
        QCOMPARE(index.isValid(), valid);
        QCOMPARE(model.hasIndex(row, column, parent), valid);
        if (!valid)
            return;
        QCOMPARE(index.internalPointer(), column == 0 ? static_cast<void*>(b.messages().at(row)) : nullptr);
        QCOMPARE(model.flags(index), Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
        QVERIFY(!model.hasChildren(index));
        QVERIFY(model.hasChildren());
        QCOMPARE(model.flags(QModelIndex()), Qt::ItemFlags());
    }

    void indexOfPosBounds_data()
    {
        QTest::addColumn<int>("pos");
        QTest::addColumn<bool>("valid");
        QTest::newRow("before the first") << -1 << false;
        QTest::newRow("first") << 0 << true;
        QTest::newRow("last") << 2 << true;
        QTest::newRow("past the last") << 3 << false;
    }
    void indexOfPosBounds()
    {
        QFETCH(int, pos);
        QFETCH(bool, valid);
        MsgModelBuilder b;
        ItemModelSms model;
        loadThree(b, model);
        const QModelIndex index = model.indexOfPos(pos);
        QCOMPARE(index.isValid(), valid);
        if (valid) {
            QCOMPARE(index.row(), pos);
            QCOMPARE(index.internalPointer(), static_cast<void*>(b.messages().at(pos)));
        }
        model.clear();
        QVERIFY(!model.indexOfPos(0).isValid());
        QCOMPARE(model.rowCount(), 0);
    }
};

QTEST_MAIN(TestItemModelSms)
#include "TestItemModelSms.moc"
