// The serial window driven the way an operator drives it, against devsim's controller on a
// pseudo-terminal paced at the line rate: the port path typed into the port field, a file
// chosen, Start pressed. Prints the upload phase seen by the window beside the line's own
// time, and with --shot saves a picture of the screen once the window says "Upgrade succeed.".
//   bench_serial_window [--kib 64] [--baud 115200] [--shot FILE] [--hold SECONDS] [--lang ch]
// scripts/demo.sh --serial runs it under Xvfb.
#include "filechooser.h"
#include "serialdevsim.h"

#include "cmsgbox.h"
#include "cserialform.h"
#include "serial/cserialmaintain.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

namespace
{
QString Arg(const QStringList &args, const QString &strName, const QString &strDefault)
{
    const int i = args.indexOf(strName);
    return i > 0 && i + 1 < args.size() ? args.at(i + 1) : strDefault;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*=false"));
    qRegisterMetaType<T_BaseDevInfo>("T_BaseDevInfo");
    qRegisterMetaType<T_UpgradeInfo>("T_UpgradeInfo");
    const QStringList args = app.arguments();
    const int i32Kib = Arg(args, QStringLiteral("--kib"), QStringLiteral("64")).toInt();
    const int i32Baud = Arg(args, QStringLiteral("--baud"), QStringLiteral("115200")).toInt();
    const QString strShot = Arg(args, QStringLiteral("--shot"), QString());
    const int i32HoldS = Arg(args, QStringLiteral("--hold"), QStringLiteral("0")).toInt();

    // The translations the start-up dialog would install, from beside the program.
    QTranslator appTr;
    if (Arg(args, QStringLiteral("--lang"), QString()) == QLatin1String("ch") &&
        appTr.load(QStringLiteral(VELMORA_BIN_DIR "/ch.pm")))
        QCoreApplication::installTranslator(&appTr);

    SerialDevsim sim;
    QString strError;
    if (!sim.Start({{"serial_baud", i32Baud}, {"install_ms", 3000}, {"serial_version_after", "MCU-2.5.0"}}, &strError,
                   QStringLiteral("MCU-2.4.1"))) {
        std::fprintf(stderr, "bench_serial_window: %s\n", qPrintable(strError));
        return 1;
    }
    QFile file(sim.TempPath(QStringLiteral("mcu-2.5.0.bin")));
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    QByteArray baImage(i32Kib * 1024, '\0');
    for (int i = 0; i < baImage.size(); ++i)
        baImage[i] = char((i * 2654435761u) >> 11);
    file.write(baImage);
    file.close();

    // A message box would stop an unattended run: say what it says and go on.
    CMsgBox::SetHandler([](const CMsgBox::T_Request &stRequest) {
        std::printf("message: %s\n", qPrintable(stRequest.strText));
        return QMessageBox::Ok;
    });
    CSerialForm form;
    form.show();
    auto *pPort = form.findChild<QComboBox *>(QStringLiteral("selPort"));
    auto *pBaud = form.findChild<QComboBox *>(QStringLiteral("boBox_baudRate"));
    auto *pStart = form.findChild<QPushButton *>(QStringLiteral("butStartUp"));
    auto *pQuery = form.findChild<QPushButton *>(QStringLiteral("btnVerQuery"));
    auto *pProgress = form.findChild<QLabel *>(QStringLiteral("lbProgress"));
    pBaud->setCurrentText(QString::number(i32Baud));
    // As typed: the path goes into the list and becomes the port, which queries the version.
    pPort->lineEdit()->setText(sim.Port());
    emit pPort->lineEdit()->returnPressed();

    QElapsedTimer clock;
    qint64 i64UploadMs = -1;
    int i32Exit = 1;
    QTimer poll;
    int i32Phase = 0;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (i32Phase == 0 && form.isEnabled() && pQuery->text() != QLatin1String("Query")) {
            std::printf("version before: %s\n", qPrintable(pQuery->text()));
            Velmora::SetFileChooser([&] { return file.fileName(); });
            form.findChild<QPushButton *>(QStringLiteral("butOpenFile"))->click();
            Velmora::SetFileChooser({});
            clock.start();
            pStart->click();
            i32Phase = 1;
        } else if (i32Phase == 1 && form.isEnabled()) {
            std::printf("window: %s, version after: %s\n", qPrintable(pProgress->text()), qPrintable(pQuery->text()));
            i32Exit = pProgress->text() == QCoreApplication::translate("CSerialForm", "Upgrade succeed.") ? 0 : 1;
            if (!strShot.isEmpty())
                QGuiApplication::primaryScreen()->grabWindow(0).save(strShot);
            QTimer::singleShot(i32HoldS * 1000, &app, [&] { app.exit(i32Exit); });
            poll.stop();
        }
        if (i32Phase == 1 && i64UploadMs < 0 && sim.Events(QStringLiteral("image")).size() == 1)
            i64UploadMs = clock.elapsed();
    });
    poll.start(5);
    QTimer::singleShot(600000, &app, [&] { app.exit(1); });
    const int i32Ret = app.exec();
    if (i64UploadMs > 0) {
        qint64 i64Wire = 0;
        for (qint64 i64Left = baImage.size(); i64Left > 0; i64Left -= SerialFrame::CHUNK)
            i64Wire += 4 + 24 + 4 + qMin<qint64>(i64Left, SerialFrame::CHUNK) + 4 + 24 + 4;
        const double dBound = i64Wire * 10.0 / i32Baud;
        std::printf("through the window: %d KiB at %d baud, image stored after %.3f s; line needs %.3f s "
                    "(%.1f %% of line rate)\n",
                    i32Kib, i32Baud, i64UploadMs / 1000.0, dBound, 100.0 * dBound * 1000.0 / i64UploadMs);
    }
    return i32Ret;
}
