// Memory for large byte buffers: the whole input file, a segment's
// compressed bytes and its decoded output, the LZX window and the decoder's
// state. Buffers of 64 KiB or more are mapped directly with all their pages
// in place at once: a small file's run would otherwise pay a page fault for
// every 4 KiB it touches (on some virtual machines each fault costs
// microseconds). Their whole 2 MiB pieces are asked to use huge pages, which
// cuts those faults by a factor of 512; the rest of such a buffer keeps
// small pages, so that no memory beyond the buffer's size is ever cleared.
// Smaller buffers come from the heap. Under AddressSanitizer everything
// comes from the heap so that overruns stay visible.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kyn {

// A zero-filled block of `bytes` bytes, 64-byte aligned, or null. Release
// it with free_block.
void* alloc_zeroed_block(size_t bytes);
void free_block(void* block);

// A growable byte buffer that does not initialise what it adds. Throws
// std::bad_alloc when memory runs out. Move-only.
class ByteBuffer {
public:
    ByteBuffer() = default;
    ~ByteBuffer();
    ByteBuffer(ByteBuffer&& other) noexcept;
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    size_t capacity() const { return capacity_; }
    std::span<const uint8_t> bytes() const { return {data_, size_}; }

    // Makes room for exactly `capacity` bytes when there is less, keeping
    // the contents. Mapped room (64 KiB or more) is in memory at once.
    void reserve(size_t capacity);
    // Sets the size; bytes beyond the old size are unspecified. Capacity
    // only grows, by at least half when it must.
    void resize(size_t size);
    void clear() { size_ = 0; }
    void append(const uint8_t* bytes, size_t count);

private:
    void grow_for(size_t size);

    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

}  // namespace kyn
