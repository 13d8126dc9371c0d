#include "cdlgselect.h"
#include "ui_cdlgselect.h"

#include "common/vlog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTranslator>

namespace
{
const char *const kLanguageKey = "language";
const char *const kChinese = "Chinese";
const char *const kEnglish = "English";

bool StoredLanguageIsChinese()
{
    QSettings settings(CDlgSelect::LanguageFilePath(), QSettings::IniFormat);
    // Only the exact word counts; anything else, or nothing, means English.
    return settings.value(QLatin1String(kLanguageKey)).toString() == QLatin1String(kChinese);
}

// One pair per process, not per dialog: they must stay installed after the dialog is
// gone, and a second dialog must replace the language rather than stack another pair
// under the first (an empty English catalogue would otherwise fall through to Chinese).
QTranslator *SharedTranslator(int iWhich)
{
    static QTranslator *s_pTranslators[2] = {new QTranslator(nullptr), new QTranslator(nullptr)};
    return s_pTranslators[iWhich];
}
} // namespace

CDlgSelect::CDlgSelect(QWidget *parent)
    : QDialog(parent), ui(new Ui::CDlgSelect), m_pAppTranslator(SharedTranslator(0)),
      m_pWidgetTranslator(SharedTranslator(1))
{
    InstallLanguage(StoredLanguageIsChinese());
    ui->setupUi(this);
    if (StoredLanguageIsChinese())
        ui->cbLanguage->setCurrentIndex(1);
}

CDlgSelect::~CDlgSelect()
{
    delete ui;
}

int CDlgSelect::RunModal()
{
    exec();
    return m_iMode;
}

QString CDlgSelect::LanguageFilePath(bool bForWriting)
{
    return ChooseLanguageFile(QCoreApplication::applicationDirPath(), UserLanguageFilePath(), bForWriting);
}

QString CDlgSelect::UserLanguageFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/velmora/language.txt");
}

QString CDlgSelect::ChooseLanguageFile(const QString &strProgramDir, const QString &strUserFile, bool bForWriting)
{
    const QString strBeside = strProgramDir + QStringLiteral("/language.txt");
    const QFileInfo beside(strBeside);
    // An existing file is judged by itself: a directory may be writable while an
    // administrator has made the file read-only, or the other way round.
    const bool bBesideWritable = beside.exists() ? beside.isWritable() : QFileInfo(strProgramDir).isWritable();
    if (bBesideWritable)
        return strBeside;
    if (bForWriting || QFileInfo::exists(strUserFile))
        return strUserFile;
    return strBeside;
}

bool CDlgSelect::LoadTranslation(QTranslator *pTranslator, const QString &strFileName)
{
    // A program started from another directory must still find the files shipped beside it.
    for (const QString &strDir : {QCoreApplication::applicationDirPath(), QDir::currentPath()}) {
        if (pTranslator->load(strFileName, strDir)) {
            VLOG(lcUi) << "translation" << strFileName << "from" << strDir;
            return true;
        }
    }
    VLOG(lcUi) << "no translation" << strFileName;
    return false;
}

void CDlgSelect::InstallLanguage(bool bChinese)
{
    LoadTranslation(m_pAppTranslator, bChinese ? QStringLiteral("ch.pm") : QStringLiteral("en.pm"));
    LoadTranslation(m_pWidgetTranslator, bChinese ? QStringLiteral("widgets_CN.qm") : QStringLiteral("widgets_US.qm"));
    // Re-installing moves a translator to the front; removing first keeps the list from growing.
    QCoreApplication::removeTranslator(m_pAppTranslator);
    QCoreApplication::removeTranslator(m_pWidgetTranslator);
    QCoreApplication::installTranslator(m_pAppTranslator);
    // Installed last, so consulted first.
    QCoreApplication::installTranslator(m_pWidgetTranslator);
}

void CDlgSelect::on_ButNetwork_clicked()
{
    m_iMode = MODE_NETWORK;
    accept();
}

void CDlgSelect::on_ButSerial_clicked()
{
    m_iMode = MODE_SERIAL;
    accept();
}

void CDlgSelect::on_cbLanguage_currentIndexChanged(int index)
{
    // Retranslation empties and refills the combo box, which would call us again.
    disconnect(ui->cbLanguage, SIGNAL(currentIndexChanged(int)), this, SLOT(on_cbLanguage_currentIndexChanged(int)));

    const bool bChinese = (index == 1);
    InstallLanguage(bChinese);
    {
        const QString strFile = LanguageFilePath(true);
        QDir().mkpath(QFileInfo(strFile).absolutePath());
        QSettings settings(strFile, QSettings::IniFormat);
        settings.setValue(QLatin1String(kLanguageKey), QLatin1String(bChinese ? kChinese : kEnglish));
        settings.sync();
        // The choice still applies to this run; only the next start forgets it.
        if (settings.status() != QSettings::NoError)
            VWARN(lcUi) << "language choice not stored in" << strFile;
    }
    ui->retranslateUi(this);

    ui->cbLanguage->setCurrentIndex(index);
    connect(ui->cbLanguage, SIGNAL(currentIndexChanged(int)), this, SLOT(on_cbLanguage_currentIndexChanged(int)));
}
