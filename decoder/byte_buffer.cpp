// Memory for large byte buffers (see byte_buffer.h).
#include "byte_buffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace kyn {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr size_t kMapThreshold = size_t(64) << 10;
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kPage = size_t(4) << 10;
constexpr size_t kBlockHeader = 64;  // keeps blocks 64-byte aligned
// Pages put in place ahead of use at most per buffer: beyond this, faults
// cost little beside the work of filling the memory, and a file that claims
// a huge output it never decodes does not take that memory at once.
constexpr size_t kPopulateLimit = size_t(16) << 20;

bool use_mapping(size_t bytes) { return !kSanitized && bytes >= kMapThreshold; }

size_t mapping_size(size_t bytes) { return (bytes + kPage - 1) & ~(kPage - 1); }

// Anonymous memory (zero-filled) with its pages in place, up to
// kPopulateLimit: the kernel provides them in one call rather than one fault
// per page. A mapping of a huge page or more is aligned to a huge page, so
// that the kernel can back its whole huge pages with huge pages; the tail
// after the last whole huge page keeps small pages, since a huge page there
// would clear memory the buffer never uses.
void* map_pages(size_t size)
{
    static_assert(kHugePage <= kPopulateLimit);
    if (size < kHugePage) {
        void* pages = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        return pages == MAP_FAILED ? nullptr : pages;
    }
    const size_t padded = size + kHugePage;
    void* raw = ::mmap(nullptr, padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
    if (aligned > start)
        ::munmap(raw, aligned - start);
    const uintptr_t end = start + padded;
    if (end > aligned + size)
        ::munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
    void* pages = reinterpret_cast<void*>(aligned);
    // Hints both: without huge pages, or on a kernel that cannot populate
    // ahead, the memory still works and faults its pages in as it is used.
    ::madvise(pages, size & ~(kHugePage - 1), MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
    ::madvise(pages, std::min(size, kPopulateLimit), MADV_POPULATE_WRITE);
#endif
    return pages;
}

struct BlockHeader {
    size_t mapped;  // size of the mapping, or 0 for a heap block
};

}  // namespace

void* alloc_zeroed_block(size_t bytes)
{
    if (bytes > SIZE_MAX - kBlockHeader - kHugePage)
        return nullptr;
    const size_t total = bytes + kBlockHeader;
    uint8_t* base;
    size_t mapped = 0;
    if (use_mapping(total)) {
        mapped = mapping_size(total);
        base = static_cast<uint8_t*>(map_pages(mapped));
    } else {
        base = static_cast<uint8_t*>(std::aligned_alloc(kBlockHeader, (total + kBlockHeader - 1) & ~(kBlockHeader - 1)));
        if (base)
            std::memset(base, 0, total);
    }
    if (!base)
        return nullptr;
    reinterpret_cast<BlockHeader*>(base)->mapped = mapped;
    return base + kBlockHeader;
}

void free_block(void* block)
{
    if (!block)
        return;
    uint8_t* base = static_cast<uint8_t*>(block) - kBlockHeader;
    const size_t mapped = reinterpret_cast<BlockHeader*>(base)->mapped;
    if (mapped)
        ::munmap(base, mapped);
    else
        std::free(base);
}

ByteBuffer::~ByteBuffer()
{
    if (!data_)
        return;
    if (use_mapping(capacity_))
        ::munmap(data_, capacity_);
    else
        std::free(data_);
}

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0))
{
}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept
{
    if (this != &other) {
        ByteBuffer old(std::move(*this));
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

void ByteBuffer::grow_for(size_t size)
{
    if (size <= capacity_)
        return;
    // Grow at least by half, so that appending stays linear.
    reserve(std::max(size, capacity_ + capacity_ / 2));
}

void ByteBuffer::reserve(size_t capacity)
{
    if (capacity <= capacity_)
        return;
    if (capacity > SIZE_MAX / 2)
        throw std::bad_alloc();
    size_t wanted = capacity;
    if (use_mapping(wanted))
        wanted = mapping_size(wanted);
    uint8_t* fresh = static_cast<uint8_t*>(use_mapping(wanted) ? map_pages(wanted) : std::malloc(wanted));
    if (!fresh)
        throw std::bad_alloc();
    if (size_ > 0)
        std::memcpy(fresh, data_, size_);
    ByteBuffer old;
    old.data_ = data_;
    old.capacity_ = capacity_;
    data_ = fresh;
    capacity_ = wanted;
}

void ByteBuffer::resize(size_t size)
{
    grow_for(size);
    size_ = size;
}

void ByteBuffer::append(const uint8_t* bytes, size_t count)
{
    if (count == 0)
        return;
    if (count > SIZE_MAX - size_)
        throw std::bad_alloc();
    grow_for(size_ + count);
    std::memcpy(data_ + size_, bytes, count);
    size_ += count;
}

}  // namespace kyn
