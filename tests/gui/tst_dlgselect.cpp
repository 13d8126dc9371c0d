// Start-up dialog: the language choice, its file and the translators that outlive the dialog.
#include "cdlgselect.h"
#include "msgboxrecorder.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TestDlgSelect : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void noFileOpensInEnglishAndChoosingChineseIsStored();
    void storedValueMustBeExactlyChinese_data();
    void storedValueMustBeExactlyChinese();
    void chineseSurvivesRestartAndDialogDestruction();
    void switchingBackToEnglishRetranslates();
    void buttonsSelectModes();
    void closingSelectsNothing();
    void brokenLanguageFileFallsBackToEnglish();
    void readOnlyProgramDirectoryKeepsChoiceForTheUser_data();
    void readOnlyProgramDirectoryKeepsChoiceForTheUser();

private:
    static QString Translated(const char *pszContext, const char *pszSource)
    {
        return QCoreApplication::translate(pszContext, pszSource);
    }
    MsgBoxRecorder *m_pRecorder = nullptr;
};

void TestDlgSelect::initTestCase()
{
    // Tests live one directory below the shipped files: the dialog must fall back to
    // the current directory to find ch.pm and the widget translations.
    QVERIFY(QFile::exists(QStringLiteral(VELMORA_BIN_DIR "/ch.pm")));
    QVERIFY(QDir::setCurrent(QStringLiteral(VELMORA_BIN_DIR)));
}

void TestDlgSelect::init()
{
    QFile::remove(CDlgSelect::LanguageFilePath());
    m_pRecorder = new MsgBoxRecorder;
}

void TestDlgSelect::cleanup()
{
    VERIFY_NO_UNEXPECTED_BOX(*m_pRecorder);
    delete m_pRecorder;
    QFile::remove(CDlgSelect::LanguageFilePath());
}

void TestDlgSelect::noFileOpensInEnglishAndChoosingChineseIsStored()
{
    CDlgSelect dlg;
    auto *pCombo = dlg.findChild<QComboBox *>(QStringLiteral("cbLanguage"));
    QVERIFY(pCombo);
    QCOMPARE(pCombo->currentIndex(), 0);
    QCOMPARE(pCombo->count(), 2);
    QCOMPARE(pCombo->itemText(1), QStringLiteral("中文"));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Choose Communication Mode"));
    QVERIFY(!QFile::exists(CDlgSelect::LanguageFilePath()));

    pCombo->setCurrentIndex(1);
    // Retranslated at once, and the combo box keeps the choice despite being refilled.
    QCOMPARE(dlg.windowTitle(), QStringLiteral("选择通信方式"));
    QCOMPARE(dlg.findChild<QPushButton *>(QStringLiteral("ButNetwork"))->text(), QStringLiteral("网络"));
    QCOMPARE(pCombo->currentIndex(), 1);
    QCOMPARE(pCombo->count(), 2);

    QSettings settings(CDlgSelect::LanguageFilePath(), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("language")).toString(), QStringLiteral("Chinese"));
    // The key lives in the general section, as the file's other readers expect.
    QFile file(CDlgSelect::LanguageFilePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray baFile = file.readAll();
    QVERIFY2(baFile.contains("[General]") && baFile.contains("language=Chinese"), baFile.constData());

    // The selector must still react after it reconnected itself.
    pCombo->setCurrentIndex(0);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Choose Communication Mode"));
}

void TestDlgSelect::storedValueMustBeExactlyChinese_data()
{
    QTest::addColumn<QString>("strStored");
    QTest::addColumn<bool>("bChinese");
    QTest::newRow("Chinese") << "Chinese" << true;
    QTest::newRow("lower case") << "chinese" << false;
    QTest::newRow("trailing blank") << "Chinese " << false;
    QTest::newRow("English") << "English" << false;
    QTest::newRow("empty") << "" << false;
}

void TestDlgSelect::storedValueMustBeExactlyChinese()
{
    QFETCH(QString, strStored);
    QFETCH(bool, bChinese);
    {
        QSettings settings(CDlgSelect::LanguageFilePath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("language"), strStored);
    }
    CDlgSelect dlg;
    QCOMPARE(dlg.findChild<QComboBox *>(QStringLiteral("cbLanguage"))->currentIndex(), bChinese ? 1 : 0);
    QCOMPARE(dlg.findChild<QLabel *>(QStringLiteral("label"))->text(),
             bChinese ? QStringLiteral("请选择连接设备的方式：")
                      : QStringLiteral("Choose a way to connect to the device:"));
}

void TestDlgSelect::chineseSurvivesRestartAndDialogDestruction()
{
    {
        CDlgSelect first;
        first.findChild<QComboBox *>(QStringLiteral("cbLanguage"))->setCurrentIndex(1);
    }
    // A "restart": a new dialog reads the stored choice.
    {
        CDlgSelect second;
        QCOMPARE(second.findChild<QComboBox *>(QStringLiteral("cbLanguage"))->currentIndex(), 1);
        QCOMPARE(second.windowTitle(), QStringLiteral("选择通信方式"));
    }
    // The dialog is gone; windows opened after it are still translated, Qt's own texts too.
    QCOMPARE(Translated("CSerialForm", "Atmel MCU Upgrade"), QStringLiteral("Atmel MCU 升级"));
    QCOMPARE(Translated("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
}

void TestDlgSelect::switchingBackToEnglishRetranslates()
{
    {
        QSettings settings(CDlgSelect::LanguageFilePath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("language"), QStringLiteral("Chinese"));
    }
    CDlgSelect dlg;
    dlg.findChild<QComboBox *>(QStringLiteral("cbLanguage"))->setCurrentIndex(0);
    QCOMPARE(dlg.findChild<QPushButton *>(QStringLiteral("ButSerial"))->text(), QStringLiteral("Serial"));
    QCOMPARE(Translated("CSerialForm", "Atmel MCU Upgrade"), QStringLiteral("Atmel MCU Upgrade"));
    QCOMPARE(Translated("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    QSettings settings(CDlgSelect::LanguageFilePath(), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("language")).toString(), QStringLiteral("English"));
}

void TestDlgSelect::buttonsSelectModes()
{
    {
        CDlgSelect dlg;
        QTimer::singleShot(0, &dlg, [&dlg] {
            QTest::mouseClick(dlg.findChild<QPushButton *>(QStringLiteral("ButNetwork")), Qt::LeftButton);
        });
        QCOMPARE(dlg.RunModal(), int(CDlgSelect::MODE_NETWORK));
    }
    {
        CDlgSelect dlg;
        QTimer::singleShot(0, &dlg, [&dlg] {
            QTest::mouseClick(dlg.findChild<QPushButton *>(QStringLiteral("ButSerial")), Qt::LeftButton);
        });
        QCOMPARE(dlg.RunModal(), int(CDlgSelect::MODE_SERIAL));
    }
}

void TestDlgSelect::closingSelectsNothing()
{
    CDlgSelect dlg;
    QTimer::singleShot(0, &dlg, [&dlg] { QTest::keyClick(&dlg, Qt::Key_Escape); });
    QCOMPARE(dlg.RunModal(), int(CDlgSelect::MODE_NONE));
}

void TestDlgSelect::brokenLanguageFileFallsBackToEnglish()
{
    QFile file(CDlgSelect::LanguageFilePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    static const char kGarbage[] = "\xff\xfe\x00[[[language\n=\x01\x02Chinese";
    file.write(kGarbage, sizeof(kGarbage) - 1);
    file.close();
    CDlgSelect dlg;
    QCOMPARE(dlg.findChild<QComboBox *>(QStringLiteral("cbLanguage"))->currentIndex(), 0);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Choose Communication Mode"));
}

void TestDlgSelect::readOnlyProgramDirectoryKeepsChoiceForTheUser_data()
{
    QTest::addColumn<bool>("bProgramDirWritable");
    QTest::addColumn<bool>("bUserFileExists");
    QTest::addColumn<bool>("bReadFromUser");
    QTest::addColumn<bool>("bWriteToUser");
    // A writable program directory always wins, so a stale user file cannot shadow the choice.
    QTest::newRow("writable, no user file") << true << false << false << false;
    QTest::newRow("writable, stale user file") << true << true << false << false;
    // Installed under a read-only prefix: the administrator's file until the user chooses.
    QTest::newRow("read-only, user has not chosen") << false << false << false << true;
    QTest::newRow("read-only, user has chosen") << false << true << true << true;
}

void TestDlgSelect::readOnlyProgramDirectoryKeepsChoiceForTheUser()
{
    QFETCH(bool, bProgramDirWritable);
    QFETCH(bool, bUserFileExists);
    QFETCH(bool, bReadFromUser);
    QFETCH(bool, bWriteToUser);

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    // Permission bits do not stop root, and tests may run as root: a directory below a plain
    // file can be written by nobody.
    QFile blocker(tmp.filePath(QStringLiteral("prefix")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString strProgramDir = bProgramDirWritable ? tmp.path() : blocker.fileName() + QStringLiteral("/bin");
    const QString strUserFile = tmp.filePath(QStringLiteral("config/velmora/language.txt"));
    if (bUserFileExists) {
        QVERIFY(QDir().mkpath(QFileInfo(strUserFile).absolutePath()));
        QSettings(strUserFile, QSettings::IniFormat).setValue(QStringLiteral("language"), QStringLiteral("Chinese"));
    }
    const QString strBeside = strProgramDir + QStringLiteral("/language.txt");
    QCOMPARE(CDlgSelect::ChooseLanguageFile(strProgramDir, strUserFile, false),
             bReadFromUser ? strUserFile : strBeside);
    QCOMPARE(CDlgSelect::ChooseLanguageFile(strProgramDir, strUserFile, true), bWriteToUser ? strUserFile : strBeside);
    QVERIFY(CDlgSelect::UserLanguageFilePath().endsWith(QStringLiteral("/velmora/language.txt")));
}

QTEST_MAIN(TestDlgSelect)
#include "tst_dlgselect.moc"
