#pragma once

#include <QString>
#include <optional>

// The settings file "./Ostrel.ini" beside the groups: one section, fourteen
// keys, read into and written from a plain value. The keys are read together
// with one reading of the file, and written together with one writing of
// it, so that a file of any size costs one pass. Nothing here knows of a
// window: the main window gathers the value from its widgets and applies it
// to them.
namespace ostrel::settings {

QString filePath();    // "./Ostrel.ini"
QString sectionName(); // "OSTREL2 for Windows98 ApplicationSettingData"

struct Settings {
    // The window's outer place and size.
    qint32 windowTop = 0;
    qint32 windowLeft = 0;
    qint32 windowHeight = 0;
    qint32 windowWidth = 0;
    qint32 fontSize = 0;  // the editor's (and the lists') size in points
    qint32 backColor = 0; // colour values (core/ColorValue.h)
    qint32 fontColor = 0;
    // The last group and record; nothing when the file does not say, so that
    // the start-up can choose its own fallback.
    std::optional<QString> lastDirectory;
    std::optional<QString> lastDocument;
    QString supportPatterns; // the displayed-files pattern list
    bool wordWrap = false;
    bool toolbarVisible = false;
    bool statusbarVisible = false;
    bool rcFormClose = false; // the create-record dialog closes after creating
};

// The defaults, as a reset writes them.
Settings defaults();

// The file's values; each key that is missing, or whose value does not read
// as a number where one is wanted, keeps the fallback's value.
Settings read(const QString& path, const Settings& fallback);

// Writes the fourteen keys in order, in one writing of the file. Raises
// "… に書き込めません" when the file refuses it: then none of them is written.
// An empty pattern list is written as the default list; a last group or
// record that is not given is written empty.
void write(const QString& path, const Settings& values);

} // namespace ostrel::settings
