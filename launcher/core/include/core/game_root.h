// The layout of a game root: the folder that holds the game's data, with the
// executable image "default.xex" either directly in it (an extracted folder)
// or in its subfolder "gamedata" (what a package import or a prepared copy
// makes). An extracted folder may carry the image as "Default.xex" only;
// preparation then adds the lower-case name beside it. Every other part of
// the launcher asks this module instead of spelling out these names.
#pragma once

#include <QString>

namespace game_root {

// The data subfolder of the imported layout: root/gamedata.
QString dataSubfolder(const QString& root);

// The image that identifies root as a game root: root/gamedata/default.xex
// when it exists, else root/default.xex when it exists, else "".
QString imagePath(const QString& root);

// Whether root holds the image in either layout.
bool holdsImage(const QString& root);

// The folder the game reads its data from: root/gamedata when it holds the
// image, otherwise root itself.
QString dataFolder(const QString& root);

// The lower-case image of an extracted folder (folder/default.xex) and its
// upper-case spelling (folder/Default.xex).
QString extractedImagePath(const QString& folder);
QString upperCaseImagePath(const QString& folder);

// Whether an extracted folder holds its image under either spelling.
bool holdsExtractedImage(const QString& folder);

} // namespace game_root
