// The `zorv` command line: `zorv <in> <out>` reads the input file whole,
// decodes it through zorv_decode and writes the output file. Kept apart from
// main() so that tests can run the whole flow in process.
#pragma once

#include <cstdint>
#include <string>

#include "byte_buffer.h"
#include "zorv_container.h"

// Writes to a file that is created (or truncated) only when the decoder
// opens the sink, through its file descriptor. Every write and the final
// close are checked.
class ZorvFileSink : public ZorvSink {
public:
    explicit ZorvFileSink(std::string path);
    ~ZorvFileSink() override;
    ZorvFileSink(const ZorvFileSink&) = delete;
    ZorvFileSink& operator=(const ZorvFileSink&) = delete;

    bool open(std::string& error) override;
    bool write(const uint8_t* data, size_t size, std::string& error) override;
    bool close(std::string& error) override;

private:
    std::string path_;
    int fd_ = -1;
};

struct ZorvInput {
    bool ok = false;
    ZorvResult failure;  // when !ok
    kyn::ByteBuffer bytes;
};

// Reads the whole input file. Its length comes from seeking to the end; an
// input that cannot seek (a pipe) is read to its end instead. Fails with
// exit code 3: "in: <system error>" when it cannot be opened (a folder
// included), silently when fewer bytes arrive than its length.
ZorvInput zorv_read_input(const char* path);

// The whole program: arguments, input, decoding, output.
ZorvResult zorv_run(int argc, const char* const argv[]);
