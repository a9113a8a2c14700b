// System reasons for failed file-system steps.
#include "core/system_reason.h"

#include <QFile>

#include <filesystem>

QString withReason(const QString& message, const QString& reason)
{
    return reason.isEmpty() ? message : message + QStringLiteral(": ") + reason;
}

QString reasonText(const std::error_code& code)
{
    return QString::fromLocal8Bit(code.message());
}

QString reasonText(int errnoValue)
{
    return reasonText(std::error_code(errnoValue, std::generic_category()));
}

bool makeFolders(const QString& folder, QString* reason)
{
    const std::filesystem::path path(QFile::encodeName(folder).toStdString());
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (!error && std::filesystem::is_directory(path, error))
        return true;
    if (!error) // something else of that name is in the way
        error = std::make_error_code(std::errc::not_a_directory);
    if (reason)
        *reason = reasonText(error);
    return false;
}
