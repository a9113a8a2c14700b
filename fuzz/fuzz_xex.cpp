// fuzz_xex: the XEX2 title check on any bytes, as a "default.xex" read from
// disk exactly as the launcher's searches read it.
#include "core/game_data.h"
#include "core/game_profile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir folder;
    QFile image(QDir(folder.path()).filePath(QStringLiteral("default.xex")));
    if (!image.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    image.write(reinterpret_cast<const char*>(data), qint64(size));
    image.close();
    checkGameTitle(gameProfile(), folder.path());
    return 0;
}
