// The themed style sheet.
#include "window/theme.h"

#include "core/game_profile.h"

#include <QColor>
#include <QFile>

QString substituteAccent(QString styleSheet, const QString& accentColor)
{
    const QColor accent = QColor::fromString(accentColor);
    if (!accent.isValid())
        return styleSheet;
    // The hover placeholder goes first: "@ACCENT@" is not a substring of it,
    // but replacing in this order keeps the rule obvious.
    styleSheet.replace(QStringLiteral("@ACCENT_HOVER@"), accent.lighter(118).name(QColor::HexRgb));
    styleSheet.replace(QStringLiteral("@ACCENT@"), accent.name(QColor::HexRgb));
    return styleSheet;
}

bool loadThemedStyleSheet(const GameProfile& profile, QString* styleSheet)
{
    QFile file(profile.styleSheetPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    *styleSheet = substituteAccent(QString::fromUtf8(file.readAll()), profile.accentColor);
    return true;
}
