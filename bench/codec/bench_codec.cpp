// Splitter throughput on a stream of small replies, and the image checksum beside plain
// reads of the same bytes (the checksum should stay within 1.5x of reading the memory).
#include "vaza/cvazabuffer.h"
#include "vaza/cvazastreamsplitter.h"
#include "vaza/vazachecksum.h"
#include "vaza/vazamessages.h"

#include <QLoggingCategory>

#include <benchmark/benchmark.h>

#include <cstring>

namespace
{
QByteArray SmallMessageStream(int i32Count)
{
    QByteArray ba;
    for (int i = 0; i < i32Count; ++i)
        ba += Vaza::BuildMsg(Vaza::ID_VersionUpgradeRsp, static_cast<quint32>(i), QByteArray(i % 48, 'x'));
    return ba;
}

QByteArray Image(int i32Size)
{
    QByteArray ba(i32Size, Qt::Uninitialized);
    quint32 u32 = 12345;
    for (char &c : ba) {
        u32 = u32 * 1103515245u + 12345u;
        c = static_cast<char>(u32 >> 24);
    }
    return ba;
}

void BM_SplitterSmallMessages(benchmark::State &state)
{
    const QByteArray baStream = SmallMessageStream(20000);
    const int i32Chunk = static_cast<int>(state.range(0));
    qint64 i64Messages = 0;
    for (auto _ : state) {
        CVazaStreamSplitter splitter;
        for (int i = 0; i < baStream.size(); i += i32Chunk)
            i64Messages += splitter.Feed(baStream.mid(i, i32Chunk), [](const T_VAZAMsgHead &st, QByteArray &body) {
                benchmark::DoNotOptimize(st.u32MsgId);
                benchmark::DoNotOptimize(body.constData());
            });
    }
    state.SetBytesProcessed(state.iterations() * baStream.size());
    state.counters["msgs/s"] = benchmark::Counter(static_cast<double>(i64Messages), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SplitterSmallMessages)->Arg(1460)->Arg(65536);

constexpr int IMAGE_SIZE = 8 * 1024 * 1024;

void BM_XorChecksum(benchmark::State &state)
{
    const QByteArray baImage = Image(IMAGE_SIZE);
    for (auto _ : state) {
        CVazaBuffer buf;
        buf.setData(baImage);
        buf.open(QIODevice::ReadOnly);
        benchmark::DoNotOptimize(XorChecksum(&buf));
    }
    state.SetBytesProcessed(state.iterations() * baImage.size());
}
BENCHMARK(BM_XorChecksum);

// The checksum of bytes already in memory, as the session folds each piece it reads back:
// the figure to hold beside the plain memory read below.
void BM_XorChecksumMemory(benchmark::State &state)
{
    const QByteArray baImage = Image(IMAGE_SIZE);
    for (auto _ : state)
        benchmark::DoNotOptimize(XorChecksum(baImage.constData(), baImage.size()));
    state.SetBytesProcessed(state.iterations() * baImage.size());
}
BENCHMARK(BM_XorChecksumMemory);

// Reference 1: the same bytes read through the device in the same blocks, untouched.
void BM_RefDeviceRead(benchmark::State &state)
{
    const QByteArray baImage = Image(IMAGE_SIZE);
    alignas(64) char block[16 * 1024];
    for (auto _ : state) {
        CVazaBuffer buf;
        buf.setData(baImage);
        buf.open(QIODevice::ReadOnly);
        while (buf.read(block, sizeof block) > 0)
            benchmark::DoNotOptimize(block);
    }
    state.SetBytesProcessed(state.iterations() * baImage.size());
}
BENCHMARK(BM_RefDeviceRead);

// Reference 2: a plain scan of the bytes in memory, one load per word.
void BM_RefMemoryRead(benchmark::State &state)
{
    const QByteArray baImage = Image(IMAGE_SIZE);
    const char *p = baImage.constData();
    for (auto _ : state) {
        quint64 u64Sum = 0;
        for (int i = 0; i + 8 <= baImage.size(); i += 8) {
            quint64 u64;
            std::memcpy(&u64, p + i, 8);
            u64Sum += u64;
        }
        benchmark::DoNotOptimize(u64Sum);
    }
    state.SetBytesProcessed(state.iterations() * baImage.size());
}
BENCHMARK(BM_RefMemoryRead);
} // namespace

int main(int argc, char **argv)
{
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*=false"));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
