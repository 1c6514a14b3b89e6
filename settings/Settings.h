#pragma once

#include <QString>

// The settings file "./Ostrel.ini" beside the groups: one section, fourteen
// keys. Every read and every write of a key opens and closes the file.
namespace ostrel::settings {

QString filePath();    // "./Ostrel.ini"
QString sectionName(); // "OSTREL2 for Windows98 ApplicationSettingData"

// Reads with the fallback for a missing key or a value that is not a number.
qint32 readInt(const QString& key, qint32 fallback);
bool readBool(const QString& key, bool fallback);
QString readText(const QString& key, const QString& fallback);

// Writes one key; raises "… に書き込めません" when the file cannot be written.
void writeInt(const QString& key, qint32 value);
void writeBool(const QString& key, bool value);
void writeText(const QString& key, const QString& value);

} // namespace ostrel::settings

// Applies the settings file to the main window.
void LoadSettings();
// Writes the main window's current values.
void SaveSettings();
// Writes the defaults; with Confirm, asks first and stops saving at close.
void WriteDefaultSettings(bool Confirm);
