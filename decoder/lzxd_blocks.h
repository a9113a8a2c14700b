// Stream and block headers of the LZX decoder, with the code-length trees
// of verbatim and aligned blocks.
#pragma once

#include "lzxd_state.h"

namespace lzxd_detail {

// Reads the stream header: the E8 translation bit and file size.
bool read_stream_header(lzxd_stream* s);
// Reads the next block header and, for its type, the trees or the
// uncompressed block's repeated offsets. Skips the padding byte after an
// odd-length uncompressed block unless the state's
// lzxd_xmem_no_uncompressed_realign is set.
bool read_block_header(lzxd_stream* s);

}  // namespace lzxd_detail
