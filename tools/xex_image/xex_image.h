// Minimal XEX2 images: the magic, the optional header entries and, for a
// whole image, the execution information block with the title ID, which is
// all the launcher's title check reads. For tests, benchmarks and demo homes.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace xexbuild {

struct XexEntry {
    quint32 key;
    quint32 value;
};

// "XEX2", zeros up to offset 20, the entry count (default: the entries
// given), then the entries.
QByteArray xexHeader(const QList<XexEntry>& entries, qint64 declaredCount = -1);

// A minimal image whose execution information (at 0x40) carries titleId
// (eight hexadecimal digits).
QByteArray xexImage(const QString& titleId);

} // namespace xexbuild
