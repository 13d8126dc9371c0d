#pragma once

#include <QByteArray>
#include <QPoint>
#include <QTreeWidget>

class QMimeData;

// A device list whose rows can be dragged to another device list of this program.
// A drop inserts nothing by itself: it is reported by signalAddDev followed by
// signalDeleteDev, and the owners of the lists decide what it means.
class QDevListWidget : public QTreeWidget
{
    Q_OBJECT
public:
    explicit QDevListWidget(QWidget *parent = nullptr);

    // Only drags between this program's own lists carry this (empty) format.
    static QString DragFormat() { return QString(); }
    // Column 1, a blank, column 2, both in Latin-1.
    static QByteArray DragPayload(const QTreeWidgetItem *pItem);
    static QMimeData *CreateMimeData(const QTreeWidgetItem *pItem);

signals:
    void signalAddDev(QByteArray info);
    void signalDeleteDev();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QPoint m_ptPress;
};
