#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// The terminal view of a batch upgrade: one line per device, rewritten in place on a
// terminal, otherwise one line per step. Quiet (for --json) it shows nothing but the
// failures on stderr.
class CProgressView
{
public:
    CProgressView(const QStringList &lstHosts, bool bQuiet);
    // A report of the engine: the module's step, its percentage (below 0: none) or its failure.
    void ShowStep(const QString &strHost, const QString &strModule, const QString &strStep, int iPct, bool bErr);
    // The module completed and read back strVersion (empty: unreadable); strExpected may be empty.
    void ShowCompleted(const QString &strHost, const QString &strModule, const QString &strVersion,
                       const QString &strExpected);
    // The module failed at strStep (empty: before any step): on the line and on stderr.
    void ShowFailed(const QString &strHost, const QString &strModule, const QString &strStep, const QString &strReason);
    // On a terminal the failures wait for the end, while the lines above are still rewritten.
    void FlushErrors();

private:
    void Show(const QString &strHost, const QString &strText, bool bStepChanged);

    QStringList m_lstHosts;
    bool m_bQuiet;
    bool m_bTty;
    QStringList m_lstLines;
    QHash<QString, QString> m_hashStep; // host -> module and step of its last report
    QList<QStringList> m_lstErrors;
};
