// Any bytes a device sends as system information go through all three views without a
// crash or an over-read, and the console output of every view is well-formed.
#include "sysinfo/csysinforows.h"

#include <QJsonDocument>
#include <QLoggingCategory>

#include <sanitizer/lsan_interface.h>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t uSize)
{
    // A deep copy, so the views see exactly the fuzzer's bytes and nothing after them.
    const QByteArray baInput(reinterpret_cast<const char *>(pData), static_cast<int>(uSize));
    const QList<T_InfoRow> lstXml = XmlInfoRows(baInput);
    bool bObject = true;
    // Qt 5.15's JSON parser leaks the earlier value of a key repeated with an array as its
    // value ({"a":[1],"a":[1]}); that is Qt's, so only the parse is kept out of the leak check.
    __lsan_disable();
    const QList<T_InfoRow> lstJson = JsonInfoRows(baInput, &bObject);
    __lsan_enable();
    if (!bObject && !lstJson.isEmpty())
        std::abort();
    const QList<T_InfoRow> lstHttp = HttpVersionRows(baInput);
    if (lstHttp.size() != 2 || lstHttp.at(0).strValue.size() > 25 || lstHttp.at(1).strValue.size() > 23)
        std::abort();
    for (const QList<T_InfoRow> *pRows : {&lstXml, &lstJson, &lstHttp}) {
        const QString strText = InfoRowsText(*pRows);
        for (const QChar ch : strText) {
            if (ch.category() == QChar::Other_Control && ch != QLatin1Char('\n'))
                std::abort();
        }
        QJsonDocument(InfoRowsJson(*pRows)).toJson();
    }
    return 0;
}
