// Game content for the import tests: a small game tree whose content files
// are ZORV containers (LZX-compressed in both layouts, and raw), written as
// an extracted folder or packed into an STFS package.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

namespace testing_support {

struct GameContent {
    struct File {
        QByteArray stored;  // the bytes as shipped
        QByteArray decoded; // what preparation must leave
    };
    QMap<QString, File> files; // by path relative to the game data folder

    int compressedCount() const;
    qint64 folderCount() const; // distinct folders on the files' paths
    quint64 storedBytes() const;
};

// default.xex (the given title), three compressed files in nested folders,
// a plain file and an empty one.
GameContent makeGameContent(const QString& titleId = QStringLiteral("4E3D2C71"));

// A ZORV container holding `content` uncompressed (segment count 0).
QByteArray rawZorv(const QByteArray& content);

void writeContentFolder(const QString& folder, const GameContent& content);
void writeContentPackage(const QString& packagePath, const GameContent& content);

// Fails the calling test unless every file under folder holds its decoded
// bytes and no ".decoding" file is left.
void verifyDecoded(const QString& folder, const GameContent& content);

// After an import that stopped or failed: fails the calling test unless
// every file is either as shipped or wholly decoded, and no ".decoding"
// file is left; *decoded receives the number of files decoded.
void verifyUntouchedOrDecoded(const QString& folder, const GameContent& content, int* decoded);

// The ".decoding" files under folder (hidden ones too): what a decoder run
// left behind.
QStringList decodingLeftovers(const QString& folder);

} // namespace testing_support
