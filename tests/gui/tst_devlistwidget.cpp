// Device list drag payload and what a drop reports.
#include "qdevlistwidget.h"

#include <QMimeData>
#include <QSignalSpy>
#include <QtTest>

class TestDevListWidget : public QObject
{
    Q_OBJECT
private slots:
    void payloadBytes();
    void dropOnSourceListEmitsBothSignalsInOrder();
    void foreignDragsAreRefused();
    void shortMoveSelectsWithoutDragging();
};

void TestDevListWidget::payloadBytes()
{
    QTreeWidgetItem item;
    item.setText(0, QStringLiteral("alias"));
    item.setText(1, QStringLiteral("Decoder-00AB"));
    item.setText(2, QStringLiteral("10.213.0.10"));
    QCOMPARE(QDevListWidget::DragPayload(&item), QByteArray("Decoder-00AB 10.213.0.10"));

    // An empty display name still yields the blank first.
    item.setText(1, QString());
    QCOMPARE(QDevListWidget::DragPayload(&item), QByteArray(" 10.213.0.10"));

    QScopedPointer<QMimeData> pMime(QDevListWidget::CreateMimeData(&item));
    QVERIFY(pMime->hasFormat(QString()));
    QCOMPARE(pMime->data(QString()), QByteArray(" 10.213.0.10"));
}

void TestDevListWidget::dropOnSourceListEmitsBothSignalsInOrder()
{
    QDevListWidget list;
    list.setColumnCount(3);
    list.setAcceptDrops(true);
    auto *pItem = new QTreeWidgetItem(QStringList{"a", "Encoder-01", "10.213.0.11"});
    list.addTopLevelItem(pItem);
    list.resize(300, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));

    QStringList order;
    QByteArray baGot;
    connect(&list, &QDevListWidget::signalAddDev, this, [&](QByteArray ba) {
        order << QStringLiteral("add");
        baGot = ba;
    });
    connect(&list, &QDevListWidget::signalDeleteDev, this, [&] { order << QStringLiteral("delete"); });

    QScopedPointer<QMimeData> pMime(QDevListWidget::CreateMimeData(pItem));
    const QPoint pt = list.visualItemRect(pItem).center();
    QDragEnterEvent enter(pt, Qt::CopyAction | Qt::MoveAction, pMime.data(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list.viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QCOMPARE(enter.dropAction(), Qt::MoveAction);

    QDropEvent drop(pt, Qt::CopyAction | Qt::MoveAction, pMime.data(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list.viewport(), &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(drop.dropAction(), Qt::MoveAction);
    QCOMPARE(order, (QStringList{"add", "delete"}));
    QCOMPARE(baGot, QByteArray("Encoder-01 10.213.0.11"));
    // The list itself never inserts or removes rows.
    QCOMPARE(list.topLevelItemCount(), 1);
}

void TestDevListWidget::foreignDragsAreRefused()
{
    QDevListWidget list;
    list.setAcceptDrops(true);
    list.resize(300, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QSignalSpy addSpy(&list, &QDevListWidget::signalAddDev);
    QSignalSpy delSpy(&list, &QDevListWidget::signalDeleteDev);

    QMimeData mime;
    mime.setText(QStringLiteral("Decoder-00AB 10.0.0.1"));
    const QPoint pt(10, 10);
    QDragEnterEvent enter(pt, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QCoreApplication::sendEvent(list.viewport(), &enter);
    QVERIFY(!enter.isAccepted());
    QDropEvent drop(pt, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    drop.setAccepted(false);
    QCoreApplication::sendEvent(list.viewport(), &drop);
    QVERIFY(!drop.isAccepted());
    QCOMPARE(addSpy.count() + delSpy.count(), 0);
}

void TestDevListWidget::shortMoveSelectsWithoutDragging()
{
    QDevListWidget list;
    list.setColumnCount(3);
    for (int i = 0; i < 3; ++i)
        list.addTopLevelItem(new QTreeWidgetItem(QStringList{"a", QStringLiteral("Dev-%1").arg(i), "10.0.0.1"}));
    list.resize(300, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QTreeWidgetItem *pSecond = list.topLevelItem(1);
    const QPoint pt = list.visualItemRect(pSecond).center();
    QTest::mousePress(list.viewport(), Qt::LeftButton, Qt::NoModifier, pt);
    // Below the drag distance: a normal selection, and no modal drag (which would block here).
    QMouseEvent move(QEvent::MouseMove, pt + QPoint(1, 0), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list.viewport(), &move);
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, Qt::NoModifier, pt + QPoint(1, 0));
    QCOMPARE(list.currentItem(), pSecond);
    QVERIFY(pSecond->isSelected());
}

QTEST_MAIN(TestDevListWidget)
#include "tst_devlistwidget.moc"
