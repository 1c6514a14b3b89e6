#pragma once

#include <QString>
#include <QStringView>

// Profile strings in a file (see text/ProfileFormat.h for the format). Every
// call opens, reads (or writes) and closes the file; nothing is cached.
namespace ostrel::profile {

// A missing or unreadable file, section or key answers the fallback.
QString readString(const QString& path, QStringView section, QStringView key,
                   const QString& fallback);

// Writes the file anew, atomically, creating it when missing. Answers false
// when it cannot be read or written; the file is then unchanged.
bool writeString(const QString& path, QStringView section, QStringView key, const QString& value);

} // namespace ostrel::profile
