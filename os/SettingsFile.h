#pragma once

#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

// Keys of the settings file read and written (see text/SettingsFormat.h for the format). Every
// call opens, reads (or writes) and closes the file; nothing is cached.
namespace ostrel::settingsfile {

// The value of a key; nothing when the file cannot be read or the section or
// the key is missing.
std::optional<QString> read(const QString& path, QStringView section, QStringView key);

// A missing or unreadable file, section or key answers the fallback.
QString readString(const QString& path, QStringView section, QStringView key,
                   const QString& fallback);

// Writes the file anew, atomically, creating it when missing. Answers false
// when it cannot be read or written; the file is then unchanged.
bool writeString(const QString& path, QStringView section, QStringView key, const QString& value);

// Several keys of one section at once, with one reading of the file: the
// value of each (nothing for each one missing); nothing at all when the file
// cannot be read.
std::optional<std::vector<std::optional<QString>>>
readValues(const QString& path, QStringView section, const std::vector<QString>& keys);

// Writes several keys at once: the file as writing them one after another
// would leave it, written anew once. Answers false when it cannot be read or
// written; the file is then unchanged.
bool writeStrings(const QString& path, QStringView section,
                  const std::vector<std::pair<QString, QString>>& values);

} // namespace ostrel::settingsfile
