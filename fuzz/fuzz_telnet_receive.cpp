// Any bytes from a telnet server, cut into reads of any size, through the channel's whole
// receive path: negotiation, login, line assembly and the reply parser, with commands queued.
// The buffer never holds a tail past the limit, and nothing is read past what arrived. No
// event loop runs and nothing is sent anywhere: the transport only collects what is written.
#include "telnet/cbasecomm.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdint>
#include <cstdlib>

namespace
{
class CFuzzComm : public CBaseComm
{
public:
    CFuzzComm() : CBaseComm(QStringLiteral("gb"), QString()) {}
    bool Connect() override
    {
        Reset();
        m_bConnected = true;
        return true;
    }
    bool Close() override
    {
        m_bConnected = false;
        return CBaseComm::Close();
    }
    bool IsConnecting() override { return false; }
    void AbortConnect() override { m_bConnected = false; }
    bool IsConnected() override { return m_bConnected; }
    bool WriteData(const QByteArray &data, bool bNewLine) override
    {
        if (!m_bConnected)
            return false;
        m_i64Written += data.size() + (bNewLine ? 2 : 0);
        return true;
    }
    void Feed(const QByteArray &ba) { OnReceiveData(ba); }
    int BufferSize() const { return m_recvBuffer.size(); }

    bool m_bConnected = false;
    qint64 m_i64Written = 0;
};
} // namespace

extern "C" int LLVMFuzzerInitialize(int *pArgc, char ***pArgv)
{
    static QCoreApplication app(*pArgc, *pArgv);
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t uSize)
{
    if (uSize < 2)
        return 0;
    CFuzzComm comm;
    const uint8_t u8Commands = pData[1];
    if (u8Commands & 1)
        comm.ReadParam(QStringLiteral("name"), CBaseComm::PARAM_READ);
    if (u8Commands & 2)
        comm.ReadOption(QStringLiteral("vi_mode"));
    if (u8Commands & 4)
        comm.ReadConfig(QStringLiteral("ip"));
    if (u8Commands & 8)
        comm.ReadMonitorInfo();
    if (u8Commands & 16)
        comm.PushSendData("false; echo $?", true);
    if (u8Commands & 32)
        comm.Reboot();
    int i32Results = 0;
    QObject::connect(&comm, &CBaseComm::OnSendQueueReturn, [&] {
        ++i32Results;
        // A caller may clear or refill the queue from its slot.
        if (u8Commands & 64)
            comm.ClearSendQueue();
        if (u8Commands & 128)
            comm.PushSendData("ls", true);
    });
    comm.Connect();
    const QByteArray baStream(reinterpret_cast<const char *>(pData + 2), static_cast<int>(uSize - 2));
    const int i32Chunk = 1 + pData[0];
    qint64 i64Fed = 0;
    for (int i = 0; i < baStream.size(); i += i32Chunk) {
        const QByteArray baChunk = baStream.mid(i, i32Chunk);
        i64Fed += baChunk.size();
        comm.Feed(baChunk);
        if (comm.BufferSize() >= CBaseComm::kMaxTail)
            std::abort();
    }
    // Every answer is bounded by what came in: negotiation replies byte for byte, and each
    // login answer or command by a question or prompt that asked for it.
    if (comm.m_i64Written > 4 * i64Fed + 256 * (i32Results + 8))
        std::abort();
    return 0;
}
