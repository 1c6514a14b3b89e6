#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>
#include <utility>
#include <vector>

// The settings file's format: "[section]" header lines and "key=value" lines,
// read from and written into the bytes of a file. (The file itself is read
// and written by os/SettingsFile.h.)
//
// Rules:
// - section and key names are compared without regard to letter case; blanks
//   around a name are ignored, a value is taken exactly as it stands;
// - the first matching section and, within it, the first matching key count;
// - a read answers at most 2047 bytes of the value (as the file stores it);
// - a key with nothing after "=" answers the empty text;
// - a write replaces the value where the key stands, or appends the key at the
//   end of its section, or appends the section at the end of the file; every
//   other byte stays as it was; a value keeps to its one line (whatever
//   follows a line break in it is dropped);
// - the file's own encoding (UTF-8, or Shift-JIS for an older file) and line
//   breaks are kept; empty bytes become UTF-8. A value that Shift-JIS cannot
//   hold turns the whole file into UTF-8, every character kept, and so does
//   a write after which the file would read in another encoding than before
//   (so that no other key reads differently);
// - a file that is neither UTF-8 nor Shift-JIS reads as UTF-8, with the
//   replacement character for each byte that does not fit.
namespace ostrel::settingsfile {

constexpr int kMaxValueBytes = 2047;

// The value of a key; nothing when the section or the key is missing.
std::optional<QString> readValue(const QByteArray& bytes, QStringView section, QStringView key);

// The values of several keys of one section (nothing for each one missing),
// found in one pass over the bytes.
std::vector<std::optional<QString>> readValues(const QByteArray& bytes, QStringView section,
                                               const std::vector<QString>& keys);

// The bytes with the key set to the value.
QByteArray withValue(QByteArray bytes, QStringView section, QStringView key, const QString& value);

// The bytes with each key set to its value: the same bytes as writing them
// one after another with withValue, made in one pass over the file (unless
// a write changes the file's encoding, when each write decides again). The
// names must be ones a file can hold (a key neither holding "=" nor starting
// with "[").
using KeyValues = std::vector<std::pair<QString, QString>>;
QByteArray withValues(QByteArray bytes, QStringView section, const KeyValues& values);

} // namespace ostrel::settingsfile
