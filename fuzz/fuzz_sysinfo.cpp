// Any system-information body gives a well-formed document for the three structured
// replies, and never an over-read for the fragment reply.
#include "vaza/cvazasysinfo.h"

#include <QLoggingCategory>
#include <QXmlStreamReader>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t uSize)
{
    if (uSize < 1)
        return 0;
    const quint32 u32Id = 0x2101 + 0x10 * (pData[0] % 4);
    const QByteArray baBody(reinterpret_cast<const char *>(pData + 1), static_cast<int>(uSize - 1));
    const QByteArray baDoc = VazaSysInfo::ConvertSysInfo(u32Id, baBody);
    if (u32Id == 0x2131)
        return 0; // the device's own fragments, passed on as they are
    QXmlStreamReader reader(baDoc);
    int i32Leaves = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("label"))
            ++i32Leaves;
    }
    if (reader.hasError())
        std::abort();
    // 5 groupings plus at least the 25 fields of the smallest reply.
    if (i32Leaves < 30)
        std::abort();
    return 0;
}
