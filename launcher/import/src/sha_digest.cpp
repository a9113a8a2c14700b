// The digests over libcrypto's EVP interface. The algorithms are fetched
// once per process: fetching is the slow part of a digest call, and the
// extraction hashes one 4096-byte block at a time.
#include "import/sha_digest.h"

#include <openssl/evp.h>

#include <cstdlib>
#include <cstring>

namespace sha {
namespace {

const EVP_MD* fetched(const char* name)
{
    EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
    if (!md)
        std::abort();  // libcrypto without its default provider: a broken installation
    return md;
}

const EVP_MD* sha1Algorithm()
{
    static const EVP_MD* const md = fetched("SHA1");
    return md;
}

const EVP_MD* sha256Algorithm()
{
    static const EVP_MD* const md = fetched("SHA256");
    return md;
}

// One context per thread for the one-shot digests, freed with the thread.
class ThreadContext {
public:
    ThreadContext() : context(EVP_MD_CTX_new()) {}
    ~ThreadContext() { EVP_MD_CTX_free(context); }
    EVP_MD_CTX* get() const { return context; }

private:
    EVP_MD_CTX* context;
};

EVP_MD_CTX* threadContext()
{
    thread_local ThreadContext context;
    return context.get();
}

} // namespace

Sha1 sha1(const char* data, qsizetype size)
{
    Sha1 digest{};
    EVP_MD_CTX* context = threadContext();
    unsigned int length = 0;
    if (!EVP_DigestInit_ex2(context, sha1Algorithm(), nullptr) || !EVP_DigestUpdate(context, data, size_t(size))
        || !EVP_DigestFinal_ex(context, digest.data(), &length))
        std::abort();
    return digest;
}

bool sha1Matches(const char* data, qsizetype size, const uchar* expected)
{
    const Sha1 digest = sha1(data, size);
    return std::memcmp(digest.data(), expected, kSha1Size) == 0;
}

struct Sha256::Context {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : context(std::make_unique<Context>())
{
    if (!EVP_DigestInit_ex2(context->context, sha256Algorithm(), nullptr))
        std::abort();
}

Sha256::~Sha256() = default;

void Sha256::add(const char* data, qsizetype size)
{
    if (size > 0 && !EVP_DigestUpdate(context->context, data, size_t(size)))
        std::abort();
}

QByteArray Sha256::hexDigest()
{
    uchar digest[kSha256Size];
    unsigned int length = 0;
    if (!EVP_DigestFinal_ex(context->context, digest, &length)
        || !EVP_DigestInit_ex2(context->context, sha256Algorithm(), nullptr))
        std::abort();
    return QByteArray(reinterpret_cast<const char*>(digest), kSha256Size).toHex();
}

} // namespace sha
