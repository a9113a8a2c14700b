// The themed style sheet: the profile's style sheet resource with the
// profile's accent colour put in place of its placeholders.
#pragma once

#include <QString>

struct GameProfile;

// Replaces "@ACCENT_HOVER@" by the accent made lighter (factor 118), then
// "@ACCENT@" by the accent itself. An accent that does not parse leaves the
// text unchanged.
QString substituteAccent(QString styleSheet, const QString& accentColor);

// Reads the profile's style sheet and substitutes its accent. Returns false
// (and leaves *styleSheet alone) when the resource cannot be opened.
bool loadThemedStyleSheet(const GameProfile& profile, QString* styleSheet);
