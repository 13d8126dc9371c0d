#pragma once

#include <QObject>
#include <QStringList>

class CDevList;
class QTreeWidget;
class QTreeWidgetItem;

// Shows a CDevList in a device list widget and follows its changes: one top-level item per
// host, with the host name under Qt::UserRole of column 0 and the columns alias, display
// name, address, version, video input and video timing, each as plain single-line text. The
// row's tool tip (column 0) names the device and its address, and why its name could not be
// read. The widget keeps its own order (it sorts once a search ends); the rows keep the data.
class CDevListMirror : public QObject
{
    Q_OBJECT
public:
    CDevListMirror(const CDevList *pRows, QTreeWidget *pTree, QObject *parent = nullptr);

    static QString HostOf(const QTreeWidgetItem *pItem);
    QTreeWidgetItem *Item(const QString &strHostName) const;
    // In the order the list shows them.
    QStringList Hosts() const;
    QStringList SelectedHosts() const;
    // Empty when no row is current.
    QString CurrentHost() const;

private slots:
    void slotRowAdded(const QString &strHostName);
    void slotRowChanged(const QString &strHostName);
    void slotRowRemoved(const QString &strHostName);

private:
    void Fill(QTreeWidgetItem *pItem, const QString &strHostName) const;

    const CDevList *m_pRows;
    QTreeWidget *m_pTree;
};
