#pragma once

#include "devsimrunner.h"
#include "testimage.h"
#include "testtime.h"
#include "vaza/cvazamaintainsession.h"

#include <algorithm>

// One simulated device on 127.0.0.1 and a session to it. Every notification is kept as
// one line: "sys ok", "sys err time out", "log - 1024", "log fin", "up - Uploading 40",
// "up fin Upgrade completed 100", "ver ok fpga 2 F1.0.9". The second word is "-" for
// progress and anything else for a final notification.
struct CRig {
    CRig(double dScale, const QString &strHost, const QJsonObject &knobs = {}, const QString &strServices = "vaza")
        : scale(dScale), bStarted(sim.Start({SimDevice(strHost, QStringLiteral("127.0.0.1"), knobs)}, strServices)),
          session(Dev(strHost, sim.Port(QStringLiteral("vaza"))))
    {
        using S = CBaseMaintainSession;
        QObject::connect(&session, &S::OnSysInfoNotify,
                         [this](T_BaseDevInfo, bool bErr, S::E_InfoDataType, QByteArray ba) {
                             Note({"sys", bErr ? "err " + ba : "ok"}, ba);
                         });
        QObject::connect(&session, &S::OnDownloadLogNotify, [this](T_BaseDevInfo, QByteArray ba, bool bErr, bool bFin) {
            Note({"log", bErr ? "err " + ba : bFin ? "fin" : "- " + QByteArray::number(ba.size())}, ba);
        });
        QObject::connect(&session, &S::OnUpgradeNotify,
                         [this](T_BaseDevInfo, T_UpgradeInfo, QString strStep, bool bErr, bool bFin, int i32Pct) {
                             Note({"up", bErr ? "err" : bFin ? "fin" : "-", strStep, QString::number(i32Pct)});
                         });
        QObject::connect(&session, &S::OnVersionQueryNotify,
                         [this](T_BaseDevInfo, bool bErr, QByteArray baAddr, UInt32 u32Port, QByteArray baVer) {
                             Note({"ver", bErr ? "err" : "ok", baAddr, QString::number(u32Port), baVer});
                         });
    }
    static T_BaseDevInfo Dev(const QString &strHost, int i32Port)
    {
        T_BaseDevInfo st;
        st.strHostName = strHost;
        st.strAddr = QStringLiteral("127.0.0.1");
        st.u32Port = static_cast<quint32>(i32Port);
        st.strKind = QStringLiteral("tx");
        return st;
    }
    void Note(const QStringList &words, const QByteArray &baData = QByteArray())
    {
        notes << words.join(QLatin1Char(' ')).trimmed();
        data << baData;
    }
    int Finals() const
    {
        return static_cast<int>(
            std::count_if(notes.begin(), notes.end(), [](const QString &s) { return s.section(' ', 1, 1) != "-"; }));
    }
    QString Image(const QString &strName, int i32Size)
    {
        const QString strPath = sim.TempPath(strName);
        return WriteImage(strPath, RandomBytes(i32Size, static_cast<quint32>(i32Size))).isEmpty() ? QString() : strPath;
    }
    E_CmdResult Upgrade(const QString &strPath, const QString &strModule = QStringLiteral("main"))
    {
        return session.StartUpgrade(T_UpgradeInfo{strModule, 1, strPath});
    }
    E_CmdResult Run(const QString &strCmd)
    {
        if (strCmd == QLatin1String("sys"))
            return session.GetSysInfo();
        if (strCmd == QLatin1String("log"))
            return session.DownloadLog();
        if (strCmd == QLatin1String("ver"))
            return session.QueryVersion("main", 1);
        return Upgrade(Image(QStringLiteral("fw.bin"), 1000));
    }
    ScopedTimeScale scale;
    CDevsimRunner sim;
    QStringList notes; // outlive the session, whatever it emits while going away
    QList<QByteArray> data;
    bool bStarted;
    CVazaMaintainSession session;
};
