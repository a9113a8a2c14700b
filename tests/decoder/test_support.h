// Shared helpers of the decoder tests: SHA-256, files and temporary
// folders, and running a program with its output captured.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace decoder_test {

using Bytes = std::vector<uint8_t>;

// Lower-case hexadecimal SHA-256 of `data`.
std::string sha256_hex(const Bytes& data);

Bytes read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const Bytes& data);

// A fresh folder under the system's temporary folder, removed on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

struct ProgramRun {
    int exit_code = -1;  // -1 when the program did not exit normally
    std::string out;     // standard output
    std::string err;     // standard error
};

struct ProgramOptions {
    // Fed to standard input through a pipe when set; otherwise /dev/null.
    const Bytes* stdin_data = nullptr;
    // Address-space limit for the program (RLIMIT_AS), 0 = none.
    uint64_t address_space_limit = 0;
};

// Runs `program` with `args` (args[0] is the name it is started under) and
// waits for it.
ProgramRun run_program(const std::string& program, const std::vector<std::string>& args,
                       const ProgramOptions& options = {});

// True when this build runs under AddressSanitizer, which reserves far more
// address space than any limit a test would set.
constexpr bool kAddressSanitizer =
#if defined(__SANITIZE_ADDRESS__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

}  // namespace decoder_test
