// The serial window driven as an operator would, against devsim's microcontroller on a
// pseudo-terminal typed into the port field; time limits run on the scaled clock.
#include "cserialform.h"
#include "filechooser.h"
#include "msgboxrecorder.h"
#include "serialdevsim.h"
#include "testtime.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class TstSerialForm : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void startsIdle();
    void typedPortQueriesVersion();
    void fullUpgradeShowsNewVersion();
    void versionUnreadAfterUpgrade_data();
    void versionUnreadAfterUpgrade();
    void silenceDuringUpgradeTimesOut();
    void wrongModuleFailsUpgrade();
    void refusals_data();
    void refusals();

private:
    struct T_Form {
        CSerialForm form;
        QComboBox *pPort = form.findChild<QComboBox *>(QStringLiteral("selPort"));
        QComboBox *pBaud = form.findChild<QComboBox *>(QStringLiteral("boBox_baudRate"));
        QPushButton *pOpen = form.findChild<QPushButton *>(QStringLiteral("butOpenFile"));
        QPushButton *pQuery = form.findChild<QPushButton *>(QStringLiteral("btnVerQuery"));
        QPushButton *pStart = form.findChild<QPushButton *>(QStringLiteral("butStartUp"));
        QLabel *pProgress = form.findChild<QLabel *>(QStringLiteral("lbProgress"));
    };
    // Types a port path and presses Enter: the window queries the version at once.
    static void TypePort(T_Form &f, const QString &strPath)
    {
        f.pPort->lineEdit()->setText(strPath);
        QTest::keyClick(f.pPort->lineEdit(), Qt::Key_Return);
    }
    void ChooseFile(T_Form &f, const QString &strPath)
    {
        Velmora::SetFileChooser([strPath] { return strPath; });
        QTest::mouseClick(f.pOpen, Qt::LeftButton);
        Velmora::SetFileChooser({});
    }
    QString Image(SerialDevsim &sim, const QString &strName, int i32Size)
    {
        QFile file(sim.TempPath(strName));
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        QByteArray ba(i32Size, '\0');
        for (int i = 0; i < i32Size; ++i)
            ba[i] = char((i * 131) ^ (i >> 8));
        file.write(ba);
        return file.fileName();
    }
    MsgBoxRecorder *m_pRecorder = nullptr;
};

void TstSerialForm::initTestCase()
{
    qRegisterMetaType<T_BaseDevInfo>("T_BaseDevInfo");
    qRegisterMetaType<T_UpgradeInfo>("T_UpgradeInfo");
    qRegisterMetaType<UInt32>("UInt32");
}

void TstSerialForm::init()
{
    m_pRecorder = new MsgBoxRecorder;
}

void TstSerialForm::cleanup()
{
    VERIFY_NO_UNEXPECTED_BOX(*m_pRecorder);
    QCOMPARE(m_pRecorder->PendingExpectations(), 0);
    delete m_pRecorder;
}

void TstSerialForm::startsIdle()
{
    T_Form f;
    QVERIFY(f.pPort && f.pBaud && f.pOpen && f.pQuery && f.pStart && f.pProgress);
    QCOMPARE(f.form.windowTitle(), QStringLiteral("Atmel MCU Upgrade"));
    QCOMPARE(f.pPort->currentIndex(), -1);
    QCOMPARE(f.pBaud->currentText(), QStringLiteral("9600"));
    QVERIFY(f.pBaud->findText(QStringLiteral("115200")) >= 0);
    QVERIFY(!f.pStart->isEnabled());
    QVERIFY(f.form.isEnabled());
}

void TstSerialForm::typedPortQueriesVersion()
{
    ScopedTimeScale scale(0.01);
    SerialDevsim sim;
    QString strError;
    QVERIFY2(sim.Start({}, &strError, QStringLiteral("MCU-1.0.0 & co")), qPrintable(strError));
    T_Form f;
    TypePort(f, sim.Port());
    QCOMPARE(f.pPort->currentText(), sim.Port());
    QVERIFY(!f.form.isEnabled());
    QTRY_VERIFY(f.form.isEnabled());
    // The controller's text as it is: the '&' is not taken for a mnemonic.
    QCOMPARE(f.pQuery->text(), QStringLiteral("MCU-1.0.0 && co"));
    QCOMPARE(sim.Events(QStringLiteral("serial_query")).size(), 1);
}

void TstSerialForm::fullUpgradeShowsNewVersion()
{
    ScopedTimeScale scale(0.01);
    SerialDevsim sim;
    QString strError;
    QVERIFY2(sim.Start({{"install_ms", 0}, {"serial_version_after", "MCU-2.5.0"}}, &strError), qPrintable(strError));
    T_Form f;
    TypePort(f, sim.Port());
    QTRY_COMPARE(f.pQuery->text(), QStringLiteral("MCU-1.0.0"));
    f.pBaud->setCurrentText(QStringLiteral("115200"));

    const QString strImage = Image(sim, QStringLiteral("mcu.rev.bin"), 5000);
    ChooseFile(f, strImage);
    QCOMPARE(f.pOpen->text(), QStringLiteral("mcu.rev.bin"));
    QCOMPARE(f.pOpen->toolTip(), strImage);
    QVERIFY(f.pStart->isEnabled());
    QTest::mouseClick(f.pStart, Qt::LeftButton);
    QVERIFY(!f.form.isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(f.pProgress->text(), QStringLiteral("Upgrade succeed."), 15000);
    QVERIFY(f.form.isEnabled());
    QCOMPARE(f.pQuery->text(), QStringLiteral("MCU-2.5.0"));

    // What the controller stored is the file, byte for byte, under the name it was told.
    QFile file(strImage);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QJsonObject> images = sim.Events(QStringLiteral("image"));
    QCOMPARE(images.size(), 1);
    QCOMPARE(images[0].value("name").toString(), QStringLiteral("mcu.rev"));
    QCOMPARE(images[0].value("size").toInt(), 5000);
    QCOMPARE(images[0].value("sha256").toString(),
             QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex()));
    QVERIFY(sim.Events(QStringLiteral("serial_upgrade"))[1].value("checksum_ok").toBool());
}

void TstSerialForm::versionUnreadAfterUpgrade_data()
{
    QTest::addColumn<QJsonObject>("knobs");
    QTest::addColumn<QString>("queryLabel");   // after the query on selecting the port
    QTest::addColumn<QString>("queryButton");  // the Query button's text then
    QTest::addColumn<QString>("queryMessage"); // the box it shows
    QTest::newRow("refused") << QJsonObject{{"serial_query_refuse", true}} << QString() << "Version query failed"
                             << "Version query failed";
    // A controller that says the upgrade completed and then stays silent was upgraded: the
    // window says so, as the console program does, instead of a time-out.
    QTest::newRow("never answered") << QJsonObject{{"serial_silent", QJsonArray{"query"}}} << "Operation timeout"
                                    << "Query"
                                    << "'Atmel_MCU' operation timeout!";
}

void TstSerialForm::versionUnreadAfterUpgrade()
{
    QFETCH(QJsonObject, knobs);
    QFETCH(QString, queryLabel);
    QFETCH(QString, queryButton);
    QFETCH(QString, queryMessage);
    ScopedTimeScale scale(0.01);
    SerialDevsim sim;
    QString strError;
    knobs.insert(QStringLiteral("install_ms"), 0);
    QVERIFY2(sim.Start(knobs, &strError), qPrintable(strError));
    T_Form f;
    m_pRecorder->Expect(queryMessage);
    TypePort(f, sim.Port());
    QTRY_VERIFY(f.form.isEnabled());
    QCOMPARE(f.pQuery->text(), queryButton);
    QCOMPARE(f.pProgress->text(), queryLabel);
    QCOMPARE(m_pRecorder->Shown().value(0).eIcon, QMessageBox::Critical);
    QVERIFY(m_pRecorder->Shown().value(0).strTitle.isEmpty());

    ChooseFile(f, Image(sim, QStringLiteral("mcu.bin"), 100));
    QTest::mouseClick(f.pStart, Qt::LeftButton);
    // No message box: the upgrade itself went through.
    QTRY_COMPARE_WITH_TIMEOUT(f.pProgress->text(), QStringLiteral("Upgrade succeed, but fails to query version."),
                              15000);
    QVERIFY(f.form.isEnabled());
    QCOMPARE(sim.Events(QStringLiteral("serial_installed")).size(), 1);
}

// The limits themselves are the runner's; here, what an operator sees when one runs out.
void TstSerialForm::silenceDuringUpgradeTimesOut()
{
    ScopedTimeScale scale(0.01);
    SerialDevsim sim;
    QString strError;
    QVERIFY2(sim.Start({{"serial_silent", "data"}}, &strError), qPrintable(strError));
    T_Form f;
    TypePort(f, sim.Port());
    QTRY_VERIFY(f.form.isEnabled());
    ChooseFile(f, Image(sim, QStringLiteral("mcu.bin"), 3000));
    m_pRecorder->Expect(QStringLiteral("'Atmel_MCU' operation timeout!"));
    QTest::mouseClick(f.pStart, Qt::LeftButton);
    QTRY_COMPARE(f.pProgress->text(), QStringLiteral("Uploading:32%"));
    QVERIFY(!f.form.isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(f.pProgress->text(), QStringLiteral("Operation timeout"), 10000);
    QVERIFY(f.form.isEnabled());
    QCOMPARE(f.pQuery->text(), QStringLiteral("MCU-1.0.0"));
    QCOMPARE(m_pRecorder->Shown().size(), 1);
}

void TstSerialForm::wrongModuleFailsUpgrade()
{
    ScopedTimeScale scale(0.01);
    SerialDevsim sim;
    QString strError;
    QVERIFY2(sim.Start({{"serial_wrong_module", true}}, &strError), qPrintable(strError));
    T_Form f;
    TypePort(f, sim.Port());
    QTRY_VERIFY(f.form.isEnabled());
    ChooseFile(f, Image(sim, QStringLiteral("mcu.bin"), 10));
    m_pRecorder->Expect(QStringLiteral("'Atmel_MCU' Upgrade error occur!"));
    QTest::mouseClick(f.pStart, Qt::LeftButton);
    QTRY_COMPARE(f.pProgress->text(), QStringLiteral("Upgrade failed"));
    QVERIFY(f.pProgress->toolTip().contains(QStringLiteral("wrong-module")));
    QVERIFY(f.form.isEnabled());
}

void TstSerialForm::refusals_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("messages");
    const QString strGone = QDir::temp().filePath(QStringLiteral("velmora-no-such-tty"));
    QTest::newRow("query, no port") << ""
                                    << "9600"
                                    << "btnVerQuery"
                                    << QStringList{"Select a serial port first!", "Version query is not support!"};
    QTest::newRow("query, no baud rate") << strGone << ""
                                         << "btnVerQuery"
                                         << QStringList{"Select a baud rate first!", "Version query is not support!"};
    QTest::newRow("query, port missing") << strGone << "9600"
                                         << "btnVerQuery" << QStringList{"Failed to connect to device!"};
    QTest::newRow("upgrade, no port") << ""
                                      << "9600"
                                      << "butStartUp"
                                      << QStringList{"Select a serial port first!", "Upgrade is not support!"};
    QTest::newRow("upgrade, port missing") << strGone << "9600"
                                           << "butStartUp" << QStringList{"Failed to connect to device!"};
}

void TstSerialForm::refusals()
{
    QFETCH(QString, port);
    QFETCH(QString, baud);
    QFETCH(QString, button);
    QFETCH(QStringList, messages);
    T_Form f;
    QTemporaryFile image;
    QVERIFY(image.open());
    image.write("image");
    image.flush();
    ChooseFile(f, image.fileName());
    f.pPort->setEditText(port);
    f.pBaud->setEditable(true);
    f.pBaud->setEditText(baud);
    for (const QString &strText : messages)
        m_pRecorder->Expect(strText);
    QTest::mouseClick(f.form.findChild<QPushButton *>(button), Qt::LeftButton);
    QVERIFY(f.form.isEnabled());
    QCOMPARE(m_pRecorder->Shown().size(), messages.size());

    // A file that does not exist leaves Start disabled.
    ChooseFile(f, image.fileName() + QStringLiteral(".gone"));
    QVERIFY(!f.pStart->isEnabled());
}

QTEST_MAIN(TstSerialForm)
#include "tst_serialform.moc"
