// System-information replies turned into the document the information views read.
#include "vaza/cvazabuffer.h"
#include "vaza/cvazasysinfo.h"
#include "vaza/vazafields.h"

#include <QDomDocument>
#include <QtTest>

namespace
{
QByteArray Strings(const QList<QByteArray> &values)
{
    CVazaBuffer buf;
    buf.open(QIODevice::WriteOnly);
    for (const QByteArray &ba : values)
        WriteByteArray(&buf, ba);
    return buf.data();
}

QList<QByteArray> Numbered(const char *pszPrefix, int i32Count)
{
    QList<QByteArray> list;
    for (int i = 0; i < i32Count; ++i)
        list << QByteArray(pszPrefix) + QByteArray::number(i);
    return list;
}

// (name, text) of every leaf, in document order.
QList<QPair<QString, QString>> Leaves(const QDomElement &el)
{
    QList<QPair<QString, QString>> list;
    for (QDomElement child = el.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        if (child.firstChildElement().isNull())
            list << qMakePair(child.attribute(QStringLiteral("name")), child.text());
        else
            list << Leaves(child);
    }
    return list;
}

QDomDocument Parse(const QByteArray &baDoc)
{
    QDomDocument doc;
    if (!doc.setContent(baDoc))
        qWarning() << "not XML:" << baDoc;
    return doc;
}
} // namespace

class TestVazaSysInfo : public QObject
{
    Q_OBJECT
private slots:
    void streamCountAndNumberedLabels();
    void documentShapeFor2101();
    void paddingTrimmedAndTextEscaped();
    void shortBodyGivesEveryElementEmpty();
};

// Catches the count byte read as a string (every later field shifted) and stream labels
// numbered from 0 or padded.
void TestVazaSysInfo::streamCountAndNumberedLabels()
{
    QByteArray baBody = Strings(Numbered("h", 5));
    baBody += char(2);
    baBody += Strings({"s1", "s2", "edid"});
    baBody += Strings(Numbered("e", 16) + Numbered("y", 3));
    const QByteArray baDoc = VazaSysInfo::ConvertSysInfo(0x2121, baBody);
    QVERIFY(baDoc.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?><info>"));
    // One line: nothing but the writer's closing newline.
    QCOMPARE(baDoc.count('\n'), baDoc.endsWith('\n') ? 1 : 0);
    const QDomDocument doc = Parse(baDoc);
    const auto leaves = Leaves(doc.documentElement());
    QCOMPARE(leaves.size(), 25 + 2);
    QCOMPARE(leaves.at(5), qMakePair(QStringLiteral("Stream Info 1"), QStringLiteral("s1")));
    QCOMPARE(leaves.at(6), qMakePair(QStringLiteral("Stream Info 2"), QStringLiteral("s2")));
    QCOMPARE(leaves.at(7), qMakePair(QStringLiteral("Vo Edid"), QStringLiteral("edid")));
    QCOMPARE(leaves.at(8), qMakePair(QStringLiteral("Name"), QStringLiteral("e0")));
    QCOMPARE(leaves.at(16), qMakePair(QStringLiteral("Name"), QStringLiteral("e8")));
    QCOMPARE(leaves.last(), qMakePair(QStringLiteral("Storage"), QStringLiteral("y2")));
}

// Catches a wrong nesting of the groupings or translated grouping names.
void TestVazaSysInfo::documentShapeFor2101()
{
    const QDomDocument doc = Parse(VazaSysInfo::ConvertSysInfo(0x2101, Strings(Numbered("v", 30))));
    const QDomElement info = doc.documentElement();
    QCOMPARE(info.tagName(), QStringLiteral("info"));
    const QDomElement dev = info.firstChildElement();
    QCOMPARE(dev.attribute(QStringLiteral("name")), QStringLiteral("Device Info"));
    QCOMPARE(dev.childNodes().size(), 11);
    QCOMPARE(dev.lastChildElement().attribute(QStringLiteral("name")), QStringLiteral("loop EDID"));
    const QDomElement sys = dev.nextSiblingElement();
    QCOMPARE(sys.attribute(QStringLiteral("name")), QStringLiteral("System Info"));
    QCOMPARE(sys.childNodes().size(), 4);
    const QDomElement eth = sys.firstChildElement();
    QCOMPARE(eth.attribute(QStringLiteral("name")), QStringLiteral("Ethernet"));
    QCOMPARE(eth.firstChildElement().attribute(QStringLiteral("name")), QStringLiteral("0"));
    QCOMPARE(eth.lastChildElement().attribute(QStringLiteral("name")), QStringLiteral("1"));
    QCOMPARE(eth.lastChildElement().childNodes().size(), 8);
    QCOMPARE(eth.lastChildElement().lastChildElement().text(), QStringLiteral("v26"));
    QCOMPARE(sys.lastChildElement().text(), QStringLiteral("v29"));
    QVERIFY(sys.nextSiblingElement().isNull());
}

// Catches 0xFF padding or spaces reaching the views, text after a zero byte, and a
// device value able to inject markup or break the document.
void TestVazaSysInfo::paddingTrimmedAndTextEscaped()
{
    const QList<QPair<QByteArray, QString>> values{{"  V1.2\xff\xff\xff  ", "V1.2"},
                                                   {"V1.2 \xff\xff \xff", "V1.2"},
                                                   {QByteArray("abc\0junk", 8), "abc"},
                                                   {"\xff\xff", ""},
                                                   {"\xe4\xb8\xad", QString::fromUtf8("\xe4\xb8\xad")},
                                                   {"a\x01"
                                                    "b",
                                                    "ab"}};
    for (const auto &v : values)
        QCOMPARE(VazaSysInfo::CleanValue(v.first), v.second);

    QList<QByteArray> fields = Numbered("v", 26);
    fields[0] = "<b>&amp;\x02";
    const QByteArray baDoc = VazaSysInfo::ConvertSysInfo(0x2111, Strings(fields));
    QVERIFY(baDoc.contains(">&lt;b&gt;&amp;amp;</label>"));
    const auto leaves = Leaves(Parse(baDoc).documentElement());
    QCOMPARE(leaves.size(), 26);
    QCOMPARE(leaves.at(0), qMakePair(QStringLiteral("PID"), QStringLiteral("<b>&amp;")));
}

// Catches a short body stopping the document early or shifting labels.
void TestVazaSysInfo::shortBodyGivesEveryElementEmpty()
{
    const auto leaves = Leaves(Parse(VazaSysInfo::ConvertSysInfo(0x2111, Strings(Numbered("h", 5)))).documentElement());
    QCOMPARE(leaves.size(), 26);
    QCOMPARE(leaves.at(4).second, QStringLiteral("h4"));
    for (int i = 5; i < leaves.size(); ++i)
        QVERIFY2(leaves.at(i).second.isEmpty(), qPrintable(leaves.at(i).first));
    QCOMPARE(leaves.at(5).first, QStringLiteral("Stream Info"));

    const auto empty = Leaves(Parse(VazaSysInfo::ConvertSysInfo(0x2121, QByteArray())).documentElement());
    QCOMPARE(empty.size(), 25);
    QCOMPARE(empty.at(5).first, QStringLiteral("Vo Edid"));
    // Other models: the device's own fragments, neither escaped nor reordered.
    QCOMPARE(VazaSysInfo::ConvertSysInfo(0x2131, Strings({"<a x=\"1\">&</a>", "<b/>"})),
             QByteArray("<info><a x=\"1\">&</a><b/></info>"));
    QCOMPARE(VazaSysInfo::ConvertSysInfo(0x2131, QByteArray()), QByteArray("<info></info>"));
}

QTEST_APPLESS_MAIN(TestVazaSysInfo)
#include "tst_vazasysinfo.moc"
