// The launcher's one way of reporting an expected failure: operations that
// can fail return false and, when the caller passed somewhere to put it, one
// user-facing message.
#pragma once

#include <QString>

// Stores message in *error when error is given; returns false, so that a
// failing step reads `return fail(error, ...)`.
inline bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}
