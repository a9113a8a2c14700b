// A game folder for the verify tests: the test content imported from a
// package into ~/Games/Game of a scratch home, where the launcher's search
// finds it, with its checksums recorded and the program files beside it.
#pragma once

#include "import_fixture.h"
#include "test_support.h"

#include <QString>

namespace testing_support {

struct ImportedGame {
    GameContent content;
    QString package; // the package it was imported from, in ~/Downloads
    QString root;    // the game root, ~/Games/Game
};

// Fails the calling test when the import fails or records no checksums.
void importTestGame(const ScratchHome& home, ImportedGame& game);

} // namespace testing_support
