#include "qdevlistwidget.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

QDevListWidget::QDevListWidget(QWidget *parent) : QTreeWidget(parent), m_ptPress(0, 0) {}

QByteArray QDevListWidget::DragPayload(const QTreeWidgetItem *pItem)
{
    return pItem->text(1).toLatin1() + ' ' + pItem->text(2).toLatin1();
}

QMimeData *QDevListWidget::CreateMimeData(const QTreeWidgetItem *pItem)
{
    auto *pMime = new QMimeData;
    pMime->setData(DragFormat(), DragPayload(pItem));
    return pMime;
}

void QDevListWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_ptPress = event->pos();
    QTreeWidget::mousePressEvent(event);
}

void QDevListWidget::mouseMoveEvent(QMouseEvent *event)
{
    if ((event->buttons() & Qt::LeftButton) &&
        (event->pos() - m_ptPress).manhattanLength() >= QApplication::startDragDistance()) {
        QTreeWidgetItem *pItem = itemAt(m_ptPress);
        if (pItem) {
            // End the list's own press/selection interaction before the modal drag takes the mouse.
            QTreeWidget::mouseReleaseEvent(event);

            const QByteArray baPayload = DragPayload(pItem);
            auto *pDrag = new QDrag(this);
            pDrag->setMimeData(CreateMimeData(pItem));

            QPixmap pixmap(104, 14);
            // A new pixmap holds whatever memory it was given; start from transparent.
            pixmap.fill(Qt::transparent);
            {
                QPainter painter(&pixmap);
                painter.drawText(QRect(0, 0, 104, 14), QString::fromLatin1(baPayload));
                painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
                painter.fillRect(pixmap.rect(), QColor(0, 0, 0, 180));
            }
            pDrag->setPixmap(pixmap);
            pDrag->setHotSpot(QPoint(52, 14));

            pDrag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
            m_ptPress = viewport()->mapFromGlobal(QCursor::pos());
        }
    }
    QTreeWidget::mouseMoveEvent(event);
}

void QDevListWidget::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasFormat(DragFormat())) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void QDevListWidget::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasFormat(DragFormat())) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void QDevListWidget::dropEvent(QDropEvent *event)
{
    if (!event->mimeData()->hasFormat(DragFormat())) {
        event->ignore();
        return;
    }
    const QByteArray baInfo = event->mimeData()->data(DragFormat());
    emit signalAddDev(baInfo);
    emit signalDeleteDev();
    event->setDropAction(Qt::MoveAction);
    event->accept();
}
