// The served game's profile.
#include "core/game_profile.h"

const GameProfile& gameProfile()
{
    static const GameProfile profile{
        .displayName = QStringLiteral("Tessarine Vandry Live"),
        .gameKey = QStringLiteral("tessarine"),
        .titleId = QStringLiteral("4E3D2C71"),
        .extraArgs = {QStringLiteral("--gpu_plugin=xenos")},
        .accentColor = QStringLiteral("#2f8cff"),
        .windowTitle = QStringLiteral("Orvello Launcher"),
        .styleSheetPath = QStringLiteral(":/theme/tessarine.qss"),
        .environment = {QStringLiteral("SDL_AUDIO_DRIVER=pulseaudio")},
        .organizationName = QStringLiteral("Velmarch"),
        .runtimeLibraries = {QStringLiteral("libkynruntime.so"), QStringLiteral("libkyngpu-xenos.so")},
        .sharedMemoryPrefix = QStringLiteral("mirel_memory_"),
        .preparedCopyFolderName = QStringLiteral("TessarineVandryLive"),
    };
    return profile;
}
