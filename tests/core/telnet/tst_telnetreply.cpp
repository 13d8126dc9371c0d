// The device shell's replies read on bytes alone: values before a prompt, the failure texts,
// echoed command lines, line assembly, the display's manufacturer, the device list and the
// device's own name. How the channel feeds these and turns them into signals is tst_telnetcomm's
// part.
#include "telnet/ctelnetnamereader.h"
#include "telnet/telnetreply.h"

#include <QtTest>

using namespace TelnetReply;

class TestTelnetReply : public QObject
{
    Q_OBJECT
private slots:
    void values_data();
    void values();
    void echoedNames();
    void lines();
    void displayLines();
    void deviceListLines();
    void deviceNames();
};

void TestTelnetReply::values_data()
{
    QTest::addColumn<char>("kind"); // 'p' parameter, 'o' option, 'c' configuration
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("lastLine");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("ok");
    struct {
        const char *pszTag;
        char cKind;
        QByteArray baLine, baLastLine, baValue;
        bool bOk;
    } const rows[] = {
        {"value on the line before", 'p', "/ # ", "Lobby%20encoder", "Lobby%20encoder", true},
        {"value on the prompt line", 'p', "42/ # ", "/ # gbparam g  name", "42", true},
        // Fault: the echoed command line was taken for the value when the value line was empty.
        {"echo before the prompt is an empty value", 'p', "/ # ", "/ # gbparam g  name", "", true},
        {"parameter not defined", 'p', "/ # ", "\"name\" not defined", "", false},
        // Only the read name's own failure counts.
        {"another parameter not defined", 'p', "/ # ", "\"serial\" not defined", "\"serial\" not defined", true},
        {"option value", 'o', "/ # ", "3", "3", true},
        {"option command not found", 'o', "/ # ", "sh: gbget: not found", "", false},
        {"option not defined, any case", 'o', "/ # ", "vi_mode Not Defined", "", false},
        {"config echo is an empty value", 'c', "/ # ", "/ # gbconfig --show ip", "", true},
    };
    for (const auto &row : rows)
        QTest::newRow(row.pszTag) << row.cKind << row.baLine << row.baLastLine << row.baValue << row.bOk;
}

void TestTelnetReply::values()
{
    QFETCH(char, kind);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, lastLine);
    QByteArray value = "stale";
    bool bOk = false;
    if (kind == 'p')
        bOk = ParamValue(line, lastLine, " # gbparam g ", "name", value);
    else
        bOk = OptionValue(line, lastLine, kind == 'o' ? " # gbget " : " # gbconfig --show ", value);
    QTEST(value, "value");
    QTEST(bOk, "ok");
}

void TestTelnetReply::echoedNames()
{
    const QByteArray echo(" # gbparam g ");
    QByteArray name = "old";
    QVERIFY(TakeEchoedName("/ # gbparam g  name ", echo, 1, name));
    QCOMPARE(name, QByteArray("name"));
    // Cut off at the separator: nothing read past the line, the name kept.
    name = "old";
    QVERIFY(TakeEchoedName("/ # / # gbparam g  ", echo, 1, name));
    QCOMPARE(name, QByteArray("old"));
    QVERIFY(TakeEchoedName("/ # gbget vi_mode", " # gbget ", 0, name));
    QCOMPARE(name, QByteArray("vi_mode"));
    // The echo is known by the prompt before it; a value that repeats the command is no echo.
    QVERIFY(!TakeEchoedName("gbparam g  name", echo, 1, name));
    QCOMPARE(name, QByteArray("vi_mode"));

    // The status of "cmd; echo $?" follows the echo of that command, not any line.
    QVERIFY(IsExitStatusLine("false; echo $?\r\n", "/ # false; echo $? "));
    QVERIFY(!IsExitStatusLine("false; echo $?\r\n", "1"));
    QVERIFY(!IsExitStatusLine("ls\r\n", "/ # false; echo $?"));
}

void TestTelnetReply::lines()
{
    QByteArray tail;
    QCOMPARE(SplitLines("one\r\n\r\ntwo\r\nrest", tail), (QList<QByteArray>{"one", "two"}));
    QCOMPARE(tail, QByteArray("rest"));
    QCOMPARE(SplitLines("a\rb\nc\r\nd\r", tail), QList<QByteArray>{"a\rb\nc"});
    QCOMPARE(tail, QByteArray("d\r"));
}

void TestTelnetReply::displayLines()
{
    QByteArray code;
    QVERIFY(ParseDisplayLine("00 ff ff ff | ff ff ff 00 | 4c 2d 0d 05 | 00", code));
    QCOMPARE(code, QByteArray("SAM"));
    // The middle letter takes bits from both bytes.
    QVERIFY(ParseDisplayLine("00 ff ff ff | ff ff ff 00 | 1e 6d 40 a0 |", code));
    QCOMPARE(code, QByteArray("GSM"));
    // A display line without a readable identification is a failed read, not a skipped line.
    for (const QByteArray &line :
         {QByteArray("00 ff ff ff | ff ff ff 00 | 4c 2d | 00"),
          QByteArray("00 ff ff ff | ff ff ff 00 | 4c 2d 0d 05 00 | 00"), QByteArray("00 ff ff ff | ff ff ff 00 |")}) {
        code = "stale";
        QVERIFY2(ParseDisplayLine(line, code), line.constData());
        QVERIFY2(code.isEmpty(), line.constData());
    }
    QVERIFY(!ParseDisplayLine("4c 2d 0d 05", code));
}

void TestTelnetReply::deviceListLines()
{
    struct {
        QByteArray baLine;
        bool bListing;
        E_ListLine eLine;
    } const rows[] = {
        {">>>>>", false, LIST_BEGIN},
        {">>>>> again", true, LIST_BEGIN},
        {"<<<<<", true, LIST_END},
        {"10.0.0.7\tZR410-A1B2C3\tonline", false, LIST_NONE},
        {"10.0.0.7\tZR410-A1B2C3\tonline", true, LIST_DEVICE},
        {"ab\tcd\tefg", true, LIST_DEVICE},                    // 9 bytes
        {"a\tb\tc012", true, LIST_NONE},                       // 8 bytes
        {"10.0.0.8\tZR420-X\tonline\textra", true, LIST_NONE}, // four fields
    };
    for (const auto &row : rows) {
        T_ListedDevice st;
        QVERIFY2(ParseListLine(row.baLine, row.bListing, st) == row.eLine, row.baLine.constData());
    }
    T_ListedDevice st;
    ParseListLine("10.0.0.7\tZR410-A1B2C3\tonline", true, st);
    QCOMPARE(st.baIpAddr + '|' + st.baHostName + '|' + st.baStatus, QByteArray("10.0.0.7|ZR410-A1B2C3|online"));
}

void TestTelnetReply::deviceNames()
{
    const QList<QPair<QByteArray, QString>> rows = {
        {"Lobby%20encoder", QStringLiteral("Lobby encoder")},
        // Escapes a URL would keep encoded are undone too, in either case of hex digit.
        {"Room%201%20%2f%20floor%20%232%3A%20a%3Fb%25c", QStringLiteral("Room 1 / floor #2: a?b%c")},
        {"%E4%b8%ad%E6%96%87%E5%90%8D", QStringLiteral("\u4e2d\u6587\u540d")}, // a Chinese name, UTF-8
        // Fault: a '%' without two hex digits after it became a byte of garbage.
        {"100%", QStringLiteral("100%")},
        {"50%zz off", QStringLiteral("50%zz off")},
        {"a%4", QStringLiteral("a%4")},
        {"%g1%1g", QStringLiteral("%g1%1g")},
        {"%%41", QStringLiteral("%A")},
        {"%2541", QStringLiteral("%41")}, // decoded once
        {"", QString()},
    };
    for (const auto &row : rows)
        QCOMPARE(DecodeDeviceName(row.first), row.second);
}

QTEST_APPLESS_MAIN(TestTelnetReply)
#include "tst_telnetreply.moc"
