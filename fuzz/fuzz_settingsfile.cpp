// The settings file's format on any bytes: a value written reads back as written,
// every other key of the file reads as it did, and the bytes outside the
// written line stay as they were. Several keys read or written at once give
// what reading or writing them one after another gives.
#include "FuzzSupport.h"
#include "text/SettingsFormat.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>

#include <algorithm>
#include <utility>
#include <vector>

using namespace ostrel;

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

QString withoutBlanksAround(QString s) {
    while (!s.isEmpty() && isBlank(s.front()))
        s.remove(0, 1);
    while (!s.isEmpty() && isBlank(s.back()))
        s.chop(1);
    return s;
}

// UTF-8 as the format decodes names and values: a U+FEFF at the start is a
// character like any other.
QString fromUtf8(const QByteArray& bytes) {
    return QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                      QStringConverter::Flag::ConvertInitialBom)
        .decode(bytes);
}

// A section or key name that can stand in a file: one line, no "=" in a key,
// no "]" in a section, no blanks around it, nothing a header would start
// with, and characters that UTF-8 holds.
QString usableName(QString name, bool section) {
    name = fromUtf8(name.toUtf8());
    name.remove(u'\r');
    name.remove(u'\n');
    name.remove(section ? u']' : u'=');
    name = withoutBlanksAround(name);
    if (name.isEmpty() || (!section && name.startsWith(u'[')))
        name.prepend(u'N');
    return name;
}

bool isUtf8(const QByteArray& bytes) {
    QStringDecoder d(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString ignored = d.decode(bytes);
    return !d.hasError();
}

bool isShiftJis(const QByteArray& bytes) {
    if (isUtf8(bytes))
        return false;
    QStringDecoder sjis("windows-31j", QStringConverter::Flag::Stateless);
    const QString ignored = sjis.decode(bytes);
    return !sjis.hasError();
}

// The file's text as the format reads it: UTF-8, else Shift-JIS, else UTF-8
// with replacement characters.
QString fileText(const QByteArray& bytes) {
    return isShiftJis(bytes) ? QStringDecoder("windows-31j").decode(bytes)
                             : QString::fromUtf8(bytes);
}

// Every (section, key) the file has, in order.
std::vector<std::pair<QString, QString>> keysOf(const QByteArray& bytes) {
    std::vector<std::pair<QString, QString>> keys;
    QString section;
    bool inSection = false;
    for (QString line : fileText(bytes).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString t = withoutBlanksAround(line);
        const qsizetype close = t.indexOf(u']');
        if (t.size() >= 2 && t.front() == u'[' && close >= 0) {
            section = withoutBlanksAround(t.mid(1, close - 1));
            inSection = true;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (inSection && eq >= 0)
            keys.emplace_back(section, withoutBlanksAround(line.left(eq)));
    }
    return keys;
}

bool sameName(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

QString describe(const std::optional<QString>& v) {
    return v ? QString::fromLatin1(fuzz::quoted(*v)) : QStringLiteral("nothing");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const QString anySection = in.text(48);
    const QString anyKey = in.text(48);
    const QString section = usableName(anySection, true);
    const QString key = usableName(anyKey, false);
    QString value = in.text(2200);
    const QByteArray file = in.rest();

    // Reading never fails on any bytes, with any names.
    (void)settingsfile::readValue(file, anySection, anyKey);

    const QByteArray written = settingsfile::withValue(file, section, key, value);

    // The value reads back: its first line, as UTF-8 or Shift-JIS holds it,
    // cut to the longest value a read answers.
    // (Found by hand: a regular expression finds nothing in a text with a
    // lone surrogate.)
    const auto lineEnd = std::find_if(value.cbegin(), value.cend(),
                                      [](QChar c) { return c == u'\r' || c == u'\n'; });
    value.truncate(lineEnd - value.cbegin());
    // (A file neither UTF-8 nor Shift-JIS is written as UTF-8.)
    const bool sjis = isShiftJis(written);
    const QString stored = sjis ? value : fromUtf8(value.toUtf8());
    const qsizetype storedBytes =
        sjis ? QByteArray(QStringEncoder("windows-31j").encode(value)).size()
             : value.toUtf8().size();
    const std::optional<QString> back = settingsfile::readValue(written, section, key);
    if (storedBytes <= settingsfile::kMaxValueBytes)
        FUZZ_CHECK(back == stored, "[%s] %s: wrote %s, read %s", fuzz::quoted(section).constData(),
                   fuzz::quoted(key).constData(), fuzz::quoted(stored).constData(),
                   qPrintable(describe(back)));
    else
        FUZZ_CHECK(back && stored.startsWith(*back) && !back->isEmpty(), "long value read as %s",
                   qPrintable(describe(back)));

    // Every other key reads as it did.
    for (const auto& [s, k] : keysOf(file)) {
        if (sameName(s, section) && sameName(k, key))
            continue;
        const std::optional<QString> before = settingsfile::readValue(file, s, k);
        const std::optional<QString> after = settingsfile::readValue(written, s, k);
        FUZZ_CHECK(before == after, "[%s] %s was %s, is %s after writing [%s] %s",
                   fuzz::quoted(s).constData(), fuzz::quoted(k).constData(),
                   qPrintable(describe(before)), qPrintable(describe(after)),
                   fuzz::quoted(section).constData(), fuzz::quoted(key).constData());
    }

    // Unless the file had to move to UTF-8, only one line changed, or one
    // was added: what differs of the old bytes lies within one line.
    if (isUtf8(file) == isUtf8(written)) {
        qsizetype a = 0;
        const qsizetype shorter = qMin(file.size(), written.size());
        while (a < shorter && file[a] == written[a])
            ++a;
        qsizetype b = 0;
        while (b < shorter - a && file[file.size() - 1 - b] == written[written.size() - 1 - b])
            ++b;
        const QByteArray removed = file.mid(a, file.size() - a - b);
        FUZZ_CHECK(!removed.contains('\n'), "bytes %s of other lines were replaced",
                   fuzz::quoted(removed).constData());
    }
    // Several keys at once: a key written again, one in another letter
    // case, a key that is likely missing and one that Shift-JIS holds.
    const settingsfile::KeyValues several = {{key, value},
                                        {QStringLiteral("WINDOW TOP"), QStringLiteral("1")},
                                        {key.toLower(), value.mid(3)},
                                        {QStringLiteral("新しい キー"), QStringLiteral("値")}};
    QByteArray oneByOne = file;
    for (const auto& [k, v] : several)
        oneByOne = settingsfile::withValue(oneByOne, section, k, v);
    const QByteArray atOnce = settingsfile::withValues(file, section, several);
    FUZZ_CHECK(atOnce == oneByOne, "written at once %s, one by one %s",
               fuzz::quoted(atOnce).constData(), fuzz::quoted(oneByOne).constData());
    const std::vector<QString> names = {anyKey, key, QStringLiteral("WINDOW TOP")};
    const std::vector<std::optional<QString>> read = settingsfile::readValues(file, anySection, names);
    for (size_t i = 0; i < names.size(); ++i)
        FUZZ_CHECK(read[i] == settingsfile::readValue(file, anySection, names[i]),
                   "%s read at once as %s", fuzz::quoted(names[i]).constData(),
                   qPrintable(describe(read[i])));
    return 0;
}
