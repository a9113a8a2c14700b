// The verify tests' imported game folder (see imported_game.h).
#include "imported_game.h"

#include "import/import_jobs.h"

#include <QTest>

namespace testing_support {

void importTestGame(const ScratchHome& home, ImportedGame& game)
{
    game.content = makeGameContent();
    game.package = home.filePath(QStringLiteral("Downloads/Game.pkg"));
    writeContentPackage(game.package, game.content);
    game.root = home.filePath(QStringLiteral("Games/Game"));
    const ImportResult result = runPackageImport(PackageImportRequest{game.package, game.root}, {});
    QVERIFY2(result.succeeded() && result.manifestProblem.isEmpty(), qPrintable(result.error + result.manifestProblem));
    makeProgramFiles(game.root);
}

} // namespace testing_support
