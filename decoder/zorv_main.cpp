// zorv: decodes one ZORV content file. `zorv <in> <out>`; exit code and one
// line on standard error report the outcome (see zorv_program.h).
#include <cstdio>

#include "zorv_program.h"

int main(int argc, char* argv[])
{
    const ZorvResult result = zorv_run(argc, argv);
    if (!result.message.empty())
        std::fputs(result.message.c_str(), stderr);
    return result.exit_code;
}
