// What the decoder benchmarks share around their measurements: walking the
// command line (options with values, positive numbers, usage errors that
// exit with 2) and writing a work file whole.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

// Walks argv one option at a time: next() moves to the following argument,
// value() and number() take the option's value from the argument after it.
class ArgReader {
public:
    ArgReader(const char* program, int argc, char** argv) : program_(program), argc_(argc), argv_(argv) {}

    bool next()
    {
        if (++i_ >= argc_)
            return false;
        arg_ = argv_[i_];
        return true;
    }
    const std::string& arg() const { return arg_; }

    std::string value()
    {
        if (i_ + 1 >= argc_)
            fail(arg_ + " needs a value");
        return argv_[++i_];
    }

    // A whole number from 1 to max.
    unsigned long long number(unsigned long long max = UINT64_MAX)
    {
        const std::string text = value();
        char* end = nullptr;
        const unsigned long long n = std::strtoull(text.c_str(), &end, 10);
        if (text.empty() || text[0] == '-' || *end != '\0' || n == 0 || n > max)
            fail("bad number for " + arg_ + ": " + text);
        return n;
    }

    [[noreturn]] void fail(const std::string& message) const
    {
        std::fprintf(stderr, "%s: %s (see --help)\n", program_, message.c_str());
        std::exit(2);
    }

private:
    const char* program_;
    int argc_;
    char** argv_;
    int i_ = 0;
    std::string arg_;
};

inline void write_file(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

}  // namespace bench
