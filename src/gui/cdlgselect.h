#pragma once

#include <QDialog>

class QTranslator;

namespace Ui
{
class CDlgSelect;
}

// Asks how to reach the devices and in which language to speak. The two
// translators it installs outlive the dialog on purpose: every window opened
// afterwards is translated by them for the rest of the process.
class CDlgSelect : public QDialog
{
    Q_OBJECT
public:
    enum E_Mode {
        MODE_NONE = 0,
        MODE_NETWORK = 1,
        MODE_SERIAL = 2,
    };

    explicit CDlgSelect(QWidget *parent = nullptr);
    ~CDlgSelect() override;

    // Runs the dialog modally and returns the selected mode; the modal loop's own result is ignored.
    int RunModal();
    int SelectedMode() const { return m_iMode; }

    // Where the language choice is read and written. "language.txt" beside the executable
    // while that directory is writable; an installed copy under a read-only prefix keeps the
    // choice in the user's configuration directory instead, still reading the one beside the
    // program (an administrator's default) until the user has chosen.
    static QString LanguageFilePath(bool bForWriting = false);
    // The same rule for any program directory and user file, so it can be checked without
    // a read-only installation.
    static QString ChooseLanguageFile(const QString &strProgramDir, const QString &strUserFile, bool bForWriting);
    // "velmora/language.txt" in the user's configuration directory.
    static QString UserLanguageFilePath();
    // Loads a translation file from the executable's directory, else from the current one.
    static bool LoadTranslation(QTranslator *pTranslator, const QString &strFileName);

private slots:
    void on_ButNetwork_clicked();
    void on_ButSerial_clicked();
    void on_cbLanguage_currentIndexChanged(int index);

private:
    void InstallLanguage(bool bChinese);

    Ui::CDlgSelect *ui;
    int m_iMode = MODE_NONE;
    QTranslator *m_pAppTranslator;
    QTranslator *m_pWidgetTranslator;
};
