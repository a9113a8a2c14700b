// The `zorv` command line flow: arguments, reading the input file, and the
// output file as a sink (see zorv_program.h).
#include "zorv_program.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

namespace {

// The system's text for the last error; a failure that set no errno still
// reads as an I/O error rather than "Success".
std::string last_error_text()
{
    return std::strerror(errno != 0 ? errno : EIO);
}

ZorvInput input_failure(std::string message)
{
    ZorvInput input;
    input.failure = ZorvResult{kZorvExitIo, std::move(message)};
    return input;
}

// Reads exactly `length` bytes; false when fewer arrive.
bool read_exactly(int fd, kyn::ByteBuffer& bytes, size_t length)
{
    bytes.resize(length);
    size_t done = 0;
    while (done < length) {
        const ssize_t got = ::read(fd, bytes.data() + done, length - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += size_t(got);
    }
    return true;
}

// Reads until the end of the input; false on a read error.
bool read_to_end(int fd, kyn::ByteBuffer& bytes)
{
    constexpr size_t kStep = 1 << 16;
    size_t done = 0;
    for (;;) {
        bytes.resize(done + kStep);
        const ssize_t got = ::read(fd, bytes.data() + done, kStep);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        done += size_t(got);
    }
    bytes.resize(done);
    return true;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

ZorvFileSink::ZorvFileSink(std::string path) : path_(std::move(path)) {}

ZorvFileSink::~ZorvFileSink()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool ZorvFileSink::open(std::string& error)
{
    errno = 0;
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        error = last_error_text();
        return false;
    }
    return true;
}

// Straight to the file, without a buffer of our own: each call brings a
// whole segment, which the system takes in one write (or a few, for a
// write cut short).
bool ZorvFileSink::write(const uint8_t* data, size_t size, std::string& error)
{
    errno = 0;
    if (fd_ < 0) {
        error = last_error_text();
        return false;
    }
    while (size > 0) {
        const ssize_t written = ::write(fd_, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            error = last_error_text();
            return false;
        }
        data += written;
        size -= size_t(written);
    }
    return true;
}

bool ZorvFileSink::close(std::string& error)
{
    if (fd_ < 0)
        return true;
    const int fd = std::exchange(fd_, -1);
    errno = 0;
    // Some file systems report a failed write only when the file is closed.
    if (::close(fd) != 0) {
        error = last_error_text();
        return false;
    }
    return true;
}

ZorvInput zorv_read_input(const char* path)
{
    errno = 0;
    FileDescriptor fd(::open(path, O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return input_failure("in: " + last_error_text() + "\n");
    struct stat info;
    if (::fstat(fd.get(), &info) == 0 && S_ISDIR(info.st_mode))
        return input_failure(std::string("in: ") + std::strerror(EISDIR) + "\n");

    ZorvInput input;
    const off_t length = ::lseek(fd.get(), 0, SEEK_END);
    const bool seekable = length >= 0 && ::lseek(fd.get(), 0, SEEK_SET) == 0;
    const bool complete =
        seekable ? read_exactly(fd.get(), input.bytes, size_t(length)) : read_to_end(fd.get(), input.bytes);
    if (!complete)
        return input_failure("");  // a short read ends the run without a message
    input.ok = true;
    return input;
}

ZorvResult zorv_run(int argc, const char* const argv[])
{
    if (argc < 3)
        return {kZorvExitUsage,
                std::string("usage: ") + (argc > 0 && argv[0] ? argv[0] : "zorv") + " <in> <out>\n"};
    try {
        ZorvInput input = zorv_read_input(argv[1]);
        if (!input.ok)
            return input.failure;
        ZorvFileSink sink(argv[2]);
        return zorv_decode(input.bytes.bytes(), sink);
    } catch (const std::bad_alloc&) {
        return {kZorvExitIo, "out of memory\n"};
    }
}
