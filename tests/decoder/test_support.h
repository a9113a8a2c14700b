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

// Runs `program` with `args` (args[0] is the name it is started under) and
// waits for it.
ProgramRun run_program(const std::string& program, const std::vector<std::string>& args);

}  // namespace decoder_test
