#pragma once

#include <QString>
#include <QStringView>

// Profile strings: "[section]" header lines and "key=value" lines. Every call
// opens, reads (or writes) and closes the file; nothing is cached.
//
// Rules:
// - section and key names are compared without regard to letter case; blanks
//   around a name are ignored, a value is taken exactly as it stands;
// - the first matching section and, within it, the first matching key count;
// - a read answers at most 2047 bytes of the value (as the file stores it);
// - a missing file, section or key answers the fallback; a key with nothing
//   after "=" answers the empty text;
// - a write replaces the value where the key stands, or appends the key at the
//   end of its section, or appends the section at the end of the file, or
//   creates the file; every other byte of the file stays as it was;
// - the file's own encoding (UTF-8, or Shift-JIS for an older file) and line
//   breaks are kept; a new file is UTF-8.
namespace ostrel::profile {

constexpr int kMaxValueBytes = 2047;

QString readString(const QString& path, QStringView section, QStringView key,
                   const QString& fallback);

// Answers false when the file cannot be written; the file is then unchanged.
bool writeString(const QString& path, QStringView section, QStringView key, const QString& value);

} // namespace ostrel::profile
