#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdio>

class QSocketNotifier;

// The terminal view of a batch upgrade: one line per device, rewritten in place on a
// terminal tall enough for all of them, otherwise one line per step. A resized terminal
// (SIGWINCH) gets the table drawn anew, or lines once it is too short. Quiet (for --json) it
// shows nothing but the failures on stderr. One instance at a time.
class CProgressView : public QObject
{
    Q_OBJECT
public:
    CProgressView(const QStringList &lstHosts, bool bQuiet, FILE *pOut = stdout);
    ~CProgressView() override;
    // A report of the engine: the module's step, its percentage (below 0: none) or its failure.
    void ShowStep(const QString &strHost, const QString &strModule, const QString &strStep, int iPct, bool bErr);
    // The module completed and read back strVersion (empty: unreadable); strExpected may be empty.
    void ShowCompleted(const QString &strHost, const QString &strModule, const QString &strVersion,
                       const QString &strExpected);
    // The module failed at strStep (empty: before any step): on the line and on stderr.
    void ShowFailed(const QString &strHost, const QString &strModule, const QString &strStep, const QString &strReason);
    // On a terminal the failures wait for the end, while the lines above are still rewritten.
    void FlushErrors();

private slots:
    void slotOnResize();

private:
    void Show(const QString &strHost, const QString &strText, bool bStepChanged);
    // The table is drawn (anew) when the terminal has a row for each device and the cursor.
    void DrawTable();
    QString Fitted(const QString &strLine) const;
    void Print(const QString &strText);

    FILE *m_pOut;
    QStringList m_lstHosts;
    bool m_bQuiet;
    bool m_bTty;
    bool m_bTable = false; // lines rewritten in place; otherwise one line per step
    int m_iRows = 0;       // the terminal's size, 0 when it does not tell
    int m_iColumns = 0;
    QStringList m_lstLines;
    QHash<QString, QString> m_hashStep; // host -> module and step of its last report
    QList<QStringList> m_lstErrors;
    QSocketNotifier *m_pResize = nullptr;
};
