#include "http/httpversionpage.h"

namespace Velmora
{
namespace
{
bool IsPadding(char ch)
{
    return ch == '\0' || ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

QString PageField(const QByteArray &baPage, int i32Offset, int i32Length)
{
    const QByteArray baField = baPage.mid(i32Offset, i32Length);
    int i32Begin = 0;
    while (i32Begin < baField.size() && IsPadding(baField.at(i32Begin)))
        ++i32Begin;
    const int i32Zero = baField.indexOf('\0', i32Begin);
    const int i32End = i32Zero < 0 ? baField.size() : i32Zero;
    // Sized explicitly: the bytes are decoded as they are, never cut again by the decoder.
    return QString::fromUtf8(baField.constData() + i32Begin, i32End - i32Begin).trimmed();
}
} // namespace

QString HttpPageVersion(const QByteArray &baPage)
{
    return PageField(baPage, 38, 23);
}

QString HttpPageBuildTime(const QByteArray &baPage)
{
    return PageField(baPage, 6, 25);
}

} // namespace Velmora
