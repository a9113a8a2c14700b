// The launch options: their INI group and the wrapped command.
#include "core/launch_options.h"

#include "core/launcher_settings.h"

#include <QProcess>
#include <QSettings>

namespace {

const QString kGroup = QStringLiteral("launch");
const QString kWrapperKey = QStringLiteral("wrapper");
const QString kEnvironmentKey = QStringLiteral("environment");
const QString kCommandWord = QStringLiteral("%command%");

// Whether a quoted group is still open at the end, by the quoting rules of
// QProcess::splitCommand (which takes such a group to the end silently).
bool endsInsideQuotes(const QString& command)
{
    bool inQuote = false;
    int quotes = 0;
    for (const QChar c : command) {
        if (c == QLatin1Char('"')) {
            if (++quotes == 3)
                quotes = 0; // a literal quote
            continue;
        }
        if (quotes == 1)
            inQuote = !inQuote;
        quotes = 0;
    }
    if (quotes == 1)
        inQuote = !inQuote;
    return inQuote;
}

} // namespace

LaunchOptions loadLaunchOptions()
{
    QSettings& settings = sharedSettings();
    settings.beginGroup(kGroup);
    LaunchOptions options;
    options.wrapper = settings.value(kWrapperKey).toString();
    for (const QString& entry : settings.value(kEnvironmentKey).toStringList()) {
        if (!entry.isEmpty())
            options.environment << entry;
    }
    settings.endGroup();
    return options;
}

bool saveLaunchOptions(const LaunchOptions& options, QString* whyNot)
{
    QSettings& settings = sharedSettings();
    settings.beginGroup(kGroup);
    settings.setValue(kWrapperKey, options.wrapper);
    settings.setValue(kEnvironmentKey, options.environment);
    settings.endGroup();
    return syncSettingsFile(whyNot);
}

QString wrapperProblem(const QString& wrapper)
{
    if (endsInsideQuotes(wrapper))
        return QStringLiteral("The command wrapper has an unclosed quote.");
    return {};
}

QStringList wrappedCommand(const QString& wrapper, const QStringList& gameCommand)
{
    const QStringList words = QProcess::splitCommand(wrapper);
    if (!words.contains(kCommandWord))
        return gameCommand + words;
    QStringList command;
    for (const QString& word : words) {
        if (word == kCommandWord)
            command << gameCommand;
        else
            command << word;
    }
    return command;
}
