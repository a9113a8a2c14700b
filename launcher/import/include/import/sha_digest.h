// SHA-1 and SHA-256 through OpenSSL's libcrypto, which reaches the
// processor's SHA instructions (several times the speed of Qt's own
// implementation). Each thread keeps its own digest context, so any number
// of threads can hash at once.
#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <array>
#include <memory>

namespace sha {

constexpr int kSha1Size = 20;
constexpr int kSha256Size = 32;

using Sha1 = std::array<uchar, kSha1Size>;

Sha1 sha1(const char* data, qsizetype size);

// True when the SHA-1 of data equals the 20 bytes at expected.
bool sha1Matches(const char* data, qsizetype size, const uchar* expected);

// An incremental SHA-256: add the bytes in any pieces, then take the digest.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(const char* data, qsizetype size);
    void add(const QByteArray& bytes) { add(bytes.constData(), bytes.size()); }
    // The digest as 64 lower-case hexadecimal digits, as sha256sum writes
    // it; the object then starts over.
    QByteArray hexDigest();

private:
    struct Context;
    std::unique_ptr<Context> context;
};

} // namespace sha
