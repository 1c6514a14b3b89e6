#include "SettingsFile.h"

#include "FileSystem.h"
#include "text/SettingsFormat.h"

namespace ostrel::settingsfile {

std::optional<QString> read(const QString& path, QStringView section, QStringView key) {
    const std::optional<QByteArray> bytes = fs::readFile(path);
    if (!bytes)
        return std::nullopt;
    return readValue(*bytes, section, key);
}

QString readString(const QString& path, QStringView section, QStringView key,
                   const QString& fallback) {
    return read(path, section, key).value_or(fallback);
}

bool writeString(const QString& path, QStringView section, QStringView key, const QString& value) {
    return writeStrings(path, section, {{key.toString(), value}});
}

std::optional<std::vector<std::optional<QString>>>
readValues(const QString& path, QStringView section, const std::vector<QString>& keys) {
    const std::optional<QByteArray> bytes = fs::readFile(path);
    if (!bytes)
        return std::nullopt;
    return settingsfile::readValues(*bytes, section, keys);
}

bool writeStrings(const QString& path, QStringView section,
                  const std::vector<std::pair<QString, QString>>& values) {
    QByteArray bytes;
    if (fs::exists(path)) {
        std::optional<QByteArray> read = fs::readFile(path);
        if (!read)
            return false;
        bytes = std::move(*read);
    }
    return fs::writeFileAtomic(path, withValues(std::move(bytes), section, values));
}

} // namespace ostrel::settingsfile
