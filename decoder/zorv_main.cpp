// zorv: decodes one ZORV content file. `zorv <in> <out>`; exit code and one
// line on standard error report the outcome (see zorv_program.h).
#include <malloc.h>

#include <cstdio>

#include "zorv_program.h"

int main(int argc, char* argv[])
{
    // Every segment's decoder state and window are allocated and freed
    // again: keep them on the heap, where the next segment reuses the same
    // pages, instead of mapping and faulting in fresh ones each time.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    const ZorvResult result = zorv_run(argc, argv);
    if (!result.message.empty())
        std::fputs(result.message.c_str(), stderr);
    return result.exit_code;
}
