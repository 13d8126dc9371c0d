#pragma once

#include "batch/cbatchupgrade.h"

#include <QObject>

class QTreeWidget;
class QWidget;

// The batch form's module tree: the modules upgrade.conf lists for a model, each with a
// button that picks its image file; Modules() is what the operator chose, in the tree's order.
class CBatchModules : public QObject
{
    Q_OBJECT
public:
    // Messages and the file dialog belong to pForm.
    CBatchModules(QTreeWidget *pTree, QWidget *pForm);

    // The modules of strModel, in place of the ones shown; a missing or broken upgrade.conf is
    // told to the operator and leaves the tree empty.
    void Load(const QString &strModel);
    QList<T_BatchModule> Modules() const;

private slots:
    void slotSelectUpgradeFile();

private:
    QTreeWidget *m_pTree;
    QWidget *m_pForm;
};
