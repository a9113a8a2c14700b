// The system's reason behind a failed file-system step, appended to the
// step's message ("Write to <file> failed: No space left on device"), and
// folder creation that keeps that reason.
#pragma once

#include <QString>

#include <system_error>

// message + ": " + reason, or message alone when there is no reason.
QString withReason(const QString& message, const QString& reason);

// The system's text for an error code, e.g. "No space left on device".
QString reasonText(const std::error_code& code);
QString reasonText(int errnoValue);

// Creates folder with all missing parents; true when it exists as a folder
// afterwards. On failure *reason receives the system's reason.
bool makeFolders(const QString& folder, QString* reason);
