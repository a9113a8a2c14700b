// Guest memory of the stand-in game runtime (part of libkyngpu-xenos.so).
//
// The runtime shares the emulated console's memory between its processor and
// graphics sides through a POSIX shared-memory file named
// "mirel_memory_<pid>" (so "/dev/shm/mirel_memory_<pid>" on Linux), mapped
// MAP_SHARED so that it shows in "/proc/<pid>/maps" while the game runs.
// A normal shutdown unmaps and removes it; a killed game leaves it behind,
// which is what the launcher's stale shared-memory cleanup exists for.
#pragma once

#include <cstddef>
#include <string>

#define KYN_GPU_API __attribute__((visibility("default")))

namespace kyn::gpu {

class KYN_GPU_API GuestMemory {
public:
    // Name of the shared-memory object for a process, with the leading "/".
    static std::string objectNameFor(long pid);

    GuestMemory() = default;
    ~GuestMemory();
    GuestMemory(const GuestMemory&) = delete;
    GuestMemory& operator=(const GuestMemory&) = delete;

    // Creates (or replaces a left-over of) the object for this process, sizes
    // it and maps it. On failure returns false and fills *error.
    bool create(std::size_t size, std::string* error);

    // Unmaps and removes the object; safe to call more than once.
    void release();

    bool isMapped() const { return base_ != nullptr; }
    // Path under which the object appears in the file system and in maps.
    std::string filePath() const { return "/dev/shm" + name_; }

private:
    std::string name_;
    void* base_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace kyn::gpu
