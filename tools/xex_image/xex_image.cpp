// Minimal XEX2 images.
#include "xex_image.h"

#include <QtEndian>

namespace xexbuild {

namespace {

constexpr quint32 kExecutionInfoKey = 0x00040006;
constexpr quint32 kExecutionInfoOffset = 0x40;
constexpr qsizetype kTitleIdInExecutionInfo = 12;
constexpr qsizetype kImageSize = 0x60;

void putBigEndian32(QByteArray& bytes, qsizetype offset, quint32 value)
{
    if (bytes.size() < offset + 4)
        bytes.resize(offset + 4, '\0');
    qToBigEndian(value, bytes.data() + offset);
}

} // namespace

QByteArray xexHeader(const QList<XexEntry>& entries, qint64 declaredCount)
{
    QByteArray bytes("XEX2");
    bytes.resize(24, '\0');
    putBigEndian32(bytes, 20, declaredCount < 0 ? quint32(entries.size()) : quint32(declaredCount));
    for (qsizetype i = 0; i < entries.size(); ++i) {
        putBigEndian32(bytes, 24 + 8 * i, entries[i].key);
        putBigEndian32(bytes, 28 + 8 * i, entries[i].value);
    }
    return bytes;
}

QByteArray xexImage(const QString& titleId)
{
    QByteArray bytes = xexHeader({{kExecutionInfoKey, kExecutionInfoOffset}});
    putBigEndian32(bytes, kExecutionInfoOffset + kTitleIdInExecutionInfo, titleId.toUInt(nullptr, 16));
    bytes.resize(kImageSize, '\0');
    return bytes;
}

} // namespace xexbuild
