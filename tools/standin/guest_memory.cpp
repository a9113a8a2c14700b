// Creation, mapping and removal of the runtime's shared guest memory.
#include "guest_memory.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace kyn::gpu {

namespace {

std::string describeErrno(const char* what, const std::string& name)
{
    return std::string(what) + " " + name + ": " + std::strerror(errno);
}

} // namespace

std::string GuestMemory::objectNameFor(long pid)
{
    return "/mirel_memory_" + std::to_string(pid);
}

GuestMemory::~GuestMemory()
{
    release();
}

bool GuestMemory::create(std::size_t size, std::string* error)
{
    release();
    name_ = objectNameFor(static_cast<long>(getpid()));
    // O_TRUNC: a file of this name can only be a left-over of an earlier
    // process that had the same id, so it is ours to replace.
    const int fd = shm_open(name_.c_str(), O_CREAT | O_RDWR | O_TRUNC, 0600);
    if (fd < 0) {
        if (error) *error = describeErrno("cannot create", name_);
        return false;
    }
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
        if (error) *error = describeErrno("cannot size", name_);
        close(fd);
        shm_unlink(name_.c_str());
        return false;
    }
    void* base = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd); // the mapping keeps the object open
    if (base == MAP_FAILED) {
        if (error) *error = describeErrno("cannot map", name_);
        shm_unlink(name_.c_str());
        return false;
    }
    base_ = base;
    size_ = size;
    return true;
}

void GuestMemory::release()
{
    if (!base_) return;
    munmap(base_, size_);
    shm_unlink(name_.c_str());
    base_ = nullptr;
    size_ = 0;
}

} // namespace kyn::gpu
