// FileDigests: the SHA-256 of the files an import step wrote, as 64
// lower-case hexadecimal digits, by their path relative to the folder it
// wrote into, so that the game folder's manifest need not read them again.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

using FileDigests = QHash<QString, QByteArray>;
