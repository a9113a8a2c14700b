// The launcher benchmarks' scratch home: many folders under ~/Games (a few
// files each, none the game) and the game, with the stand-in runtime, in
// the last one, so that a search walks every folder before it finds it.
#pragma once

#include <QString>

// Fills home with the given number of folders under Games, then the game.
// Stops the program when a file cannot be written or the stand-in runtime
// (built with the launcher's tests) is missing.
void populateBenchHome(const QString& home, int folders);
