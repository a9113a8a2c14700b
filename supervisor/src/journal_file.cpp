// Appending to the play journal under its lock (see journal_file.h).
#include "supervisor/journal_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

namespace supervisor {

namespace {

bool failWith(std::string* error, int errorNumber)
{
    if (error)
        *error = std::strerror(errorNumber);
    return false;
}

// Creates the folder and its missing parents, each readable by its owner only.
bool makeFolders(const std::filesystem::path& folder, std::string* error)
{
    std::filesystem::path partial;
    for (const auto& part : folder) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return failWith(error, errno);
    }
    return true;
}

using Clock = std::chrono::steady_clock;

// Waits for the lock until the deadline at most: a compaction holds it for
// milliseconds, so a longer wait means one that stopped.
bool lockBefore(int fd, int operation, Clock::time_point deadline)
{
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK || Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool isFileAtPath(int fd, const std::string& path)
{
    struct stat opened, named;
    return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

// Writes all of text; a second write only after a short first one (a disk
// that just filled up), which then gives the reason.
bool writeAll(int fd, const std::string& text, std::string* error)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return failWith(error, written < 0 ? errno : EIO);
        done += std::size_t(written);
    }
    return true;
}

// True when the file ends in the middle of a line: a line that a crash cut
// short. A line appended to it would join it and be skipped with it.
bool endsInsideLine(int fd)
{
    struct stat info;
    char last = '\n';
    return ::fstat(fd, &info) == 0 && info.st_size > 0 && ::pread(fd, &last, 1, info.st_size - 1) == 1 &&
           last != '\n';
}

} // namespace

int openLockedJournal(const std::string& path, int flags, JournalLock lock, std::string* error)
{
    const int operation = lock == JournalLock::Shared ? LOCK_SH : LOCK_EX;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    for (;;) {
        const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0600);
        if (fd < 0) {
            failWith(error, errno);
            return -1;
        }
        const bool locked = lockBefore(fd, operation, deadline);
        if (locked && isFileAtPath(fd, path))
            return fd;
        if (!locked && lock == JournalLock::Shared)
            return fd; // the file at path when it was opened, unlocked
        ::close(fd);
        if (!locked || Clock::now() >= deadline) {
            failWith(error, EWOULDBLOCK);
            return -1;
        }
        // A compaction replaced the file between the open and the lock:
        // the new one is at path now.
    }
}

bool appendJournalLine(const std::string& path, const std::string& line, std::string* error)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty() && !makeFolders(folder, error))
        return false;
    const int fd = openLockedJournal(path, O_RDWR | O_APPEND | O_CREAT, JournalLock::Shared, error);
    if (fd < 0)
        return false;
    // Ending the cut line first costs at worst an empty line (when another
    // supervisor's line was arriving just then), which readers skip.
    const bool written = writeAll(fd, endsInsideLine(fd) ? "\n" + line : line, error);
    // close() is where a network file system reports a failed write.
    if (::close(fd) != 0 && written)
        return failWith(error, errno);
    return written;
}

} // namespace supervisor
