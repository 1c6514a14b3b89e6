#include "Settings.h"

#include "SettingsTexts.h"
#include "core/ColorValue.h"
#include "core/UserError.h"
#include "os/SettingsFile.h"
#include "text/NumberParse.h"
#include "text/PatternList.h"

#include <variant>

namespace ostrel::settings {

namespace {

using Field = std::variant<qint32 Settings::*, bool Settings::*, QString Settings::*,
                           std::optional<QString> Settings::*>;

struct Key {
    const char16_t* name;
    Field field;
    // The default exactly as a reset writes it.
    QString defaultText;
};

// Every key of the file, in the order it is written, with its default: the
// one table that reading, writing and the reset use.
const std::vector<Key>& keys() {
    static const std::vector<Key> table = {
        {u"WINDOW TOP", &Settings::windowTop, QStringLiteral("200")},
        {u"WINDOW LEFT", &Settings::windowLeft, QStringLiteral("200")},
        {u"WINDOW HEIGHT", &Settings::windowHeight, QStringLiteral("350")},
        {u"WINDOW WIDTH", &Settings::windowWidth, QStringLiteral("450")},
        {u"FONT SIZE", &Settings::fontSize, QStringLiteral("9")},
        {u"BUCK COLOR", &Settings::backColor, QString::number(kColorWindow)},
        {u"FONT COLOR", &Settings::fontColor, QString::number(kColorWindowText)},
        {u"LAST DIRECTORY", &Settings::lastDirectory, QString()},
        {u"LAST DOCUMENT", &Settings::lastDocument, QString()},
        {u"SUPPORT EXPC", &Settings::supportPatterns, defaultPatternList()},
        {u"EDIT WORDWRAP", &Settings::wordWrap, QStringLiteral("1")},
        {u"TOOLBAR VISIBLE", &Settings::toolbarVisible, QStringLiteral("1")},
        {u"STATUSBAR VISIBLE", &Settings::statusbarVisible, QStringLiteral("1")},
        {u"RC FORM CLOSE", &Settings::rcFormClose, QStringLiteral("1")},
    };
    return table;
}

// A key's value as text, and back: integers in decimal, booleans as 1 or 0
// (any number other than 0 reads as true), texts as they are.
struct TextOf {
    const Settings& s;
    QString operator()(qint32 Settings::*f) const { return QString::number(s.*f); }
    QString operator()(bool Settings::*f) const { return QString::number(s.*f ? 1 : 0); }
    QString operator()(QString Settings::*f) const { return s.*f; }
    QString operator()(std::optional<QString> Settings::*f) const {
        return (s.*f).value_or(QString());
    }
};

struct Take {
    Settings& s;
    const QString& text;
    void operator()(qint32 Settings::*f) const {
        if (const std::optional<qint32> v = parseInt32(text))
            s.*f = *v;
    }
    void operator()(bool Settings::*f) const {
        if (const std::optional<qint32> v = parseInt32(text))
            s.*f = *v != 0;
    }
    void operator()(QString Settings::*f) const { s.*f = text; }
    void operator()(std::optional<QString> Settings::*f) const { s.*f = text; }
};

} // namespace

QString filePath() {
    return QStringLiteral("./Ostrel.ini");
}

QString sectionName() {
    return QStringLiteral("OSTREL2 for Windows98 ApplicationSettingData");
}

Settings defaults() {
    Settings s;
    for (const Key& k : keys())
        std::visit(Take{s, k.defaultText}, k.field);
    return s;
}

Settings read(const QString& path, const Settings& fallback) {
    Settings s = fallback;
    std::vector<QString> names;
    for (const Key& k : keys())
        names.push_back(QString::fromUtf16(k.name));
    const auto values = settingsfile::readValues(path, sectionName(), names);
    if (!values)
        return s;
    for (size_t i = 0; i < keys().size(); ++i)
        if (const std::optional<QString>& text = (*values)[i])
            std::visit(Take{s, *text}, keys()[i].field);
    return s;
}

void write(const QString& path, const Settings& values) {
    Settings s = values;
    if (s.supportPatterns.isEmpty())
        s.supportPatterns = defaultPatternList();
    std::vector<std::pair<QString, QString>> lines;
    for (const Key& k : keys())
        lines.emplace_back(QString::fromUtf16(k.name), std::visit(TextOf{s}, k.field));
    // All keys in one write: a file of any size is read and written once.
    if (!settingsfile::writeStrings(path, sectionName(), lines))
        throw UserError(texts::settings::cannotWrite().arg(path));
}

} // namespace ostrel::settings
