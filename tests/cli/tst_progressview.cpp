// The live table of velmora-cli upgrade on a terminal (a pseudo-terminal the test reads and
// resizes): one line per device rewritten in place while the table fits, lines past its height.
#include "cprogressview.h"
#include "ptypair.h"

#include <QtTest>

#include <csignal>
#include <sys/ioctl.h>

class TestProgressView : public QObject
{
    Q_OBJECT
private slots:
    void fallsBackPastTheHeightAndRedrawsOnResize();
};

namespace
{
void Resize(FILE *pTerm, unsigned short u16Rows)
{
    winsize stSize = {};
    stSize.ws_row = u16Rows;
    stSize.ws_col = 80;
    ioctl(fileno(pTerm), TIOCSWINSZ, &stSize);
}
} // namespace

// Catches the table drawn on a terminal with fewer rows than devices: the cursor cannot go up
// past the top line, so each update overwrote another device's line.
void TestProgressView::fallsBackPastTheHeightAndRedrawsOnResize()
{
    PtyPair pty;
    QVERIFY(pty.IsOpen());
    FILE *pTerm = std::fopen(qPrintable(pty.SlavePath()), "w");
    QVERIFY(pTerm);
    Resize(pTerm, 5);
    const QStringList lstHosts{"ZR410-1", "ZR410-2", "ZR410-3", "ZR410-4", "ZR410-5", "ZR410-6"};
    {
        CProgressView view(lstHosts, false, pTerm);
        view.ShowStep("ZR410-2", "main", "Uploading", 10, false);
        view.ShowStep("ZR410-2", "main", "Uploading", 20, false); // same step: no new line
        view.ShowStep("ZR410-6", "main", "Installing...", 1, false);
        QTRY_VERIFY(pty.Received().endsWith("ZR410-6: main: Installing... 1%\n"));
        QCOMPARE(pty.Take(), QByteArray("ZR410-2: main: Uploading 10%\nZR410-6: main: Installing... 1%\n"));

        // Tall enough again: the whole table anew, then updates in place.
        Resize(pTerm, 24);
        raise(SIGWINCH);
        QTRY_VERIFY(pty.Received().contains("ZR410-6: main: Installing... 1%\n"));
        QCOMPARE(pty.Take(), QByteArray("ZR410-1\nZR410-2: main: Uploading 20%\nZR410-3\nZR410-4\nZR410-5\n"
                                        "ZR410-6: main: Installing... 1%\n"));
        view.ShowStep("ZR410-1", "main", "Uploading", 5, false);
        QTRY_VERIFY(!pty.Received().isEmpty());
        QCOMPARE(pty.Take(), QByteArray("\x1b[6A\r\x1b[2KZR410-1: main: Uploading 5%\x1b[6B\r"));

        // Smaller again: lines from now on.
        Resize(pTerm, 6);
        raise(SIGWINCH);
        QTest::qWait(50);
        view.ShowStep("ZR410-1", "main", "Installing...", 1, false);
        QTRY_VERIFY(!pty.Received().isEmpty());
        QCOMPARE(pty.Take(), QByteArray("ZR410-1: main: Installing... 1%\n"));
    }
    std::fclose(pTerm);
}

QTEST_GUILESS_MAIN(TestProgressView)
#include "tst_progressview.moc"
