// The stand-in game executable "tessarine": all behaviour lives in
// libkynruntime.so (see runtime.h for what it does and its log format).
#include "runtime.h"

int main(int argc, char** argv)
{
    return kyn::runtime::runGame(argc, argv);
}
