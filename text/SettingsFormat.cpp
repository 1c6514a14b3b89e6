#include "SettingsFormat.h"

#include "TextCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace ostrel::settingsfile {

namespace {

const char* const kShiftJisName = "windows-31j";

enum class FileEncoding { Utf8, ShiftJis };

struct Line {
    qsizetype start; // first byte
    qsizetype end;   // one past the last byte, without CR LF
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView v) {
    while (!v.isEmpty() && isBlank(v.front()))
        v = v.sliced(1);
    while (!v.isEmpty() && isBlank(v.back()))
        v.chop(1);
    return v;
}

// Whether the bytes decode without an error, looked at a piece at a time
// so that an invalid file is told at its first error. The pieces end at
// line feeds, which neither encoding has inside a character.
template <typename Decode> bool decodesCleanly(QByteArrayView bytes, Decode decodesPiece) {
    constexpr qsizetype kPiece = 1 << 20;
    while (!bytes.isEmpty()) {
        const qsizetype feed = bytes.size() <= kPiece ? -1 : bytes.indexOf('\n', kPiece);
        const qsizetype end = feed < 0 ? bytes.size() : feed + 1;
        if (!decodesPiece(bytes.first(end)))
            return false;
        bytes = bytes.sliced(end);
    }
    return true;
}

bool isValidUtf8(QByteArrayView bytes) {
    return decodesCleanly(bytes, [](QByteArrayView piece) {
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        const QString ignored = utf8.decode(piece);
        return !utf8.hasError();
    });
}

bool isValidShiftJis(QByteArrayView bytes) {
    return decodesCleanly(bytes, [](QByteArrayView piece) {
        // Stateless: a character cut off by the end is an error.
        QStringDecoder sjis(kShiftJisName, QStringConverter::Flag::Stateless);
        const QString ignored = sjis.decode(piece);
        return !sjis.hasError();
    });
}

FileEncoding detectEncoding(const QByteArray& bytes, bool* validUtf8 = nullptr) {
    const bool utf8 = isValidUtf8(bytes);
    if (validUtf8)
        *validUtf8 = utf8;
    if (utf8 || !isValidShiftJis(bytes))
        return FileEncoding::Utf8;
    return FileEncoding::ShiftJis;
}

// A U+FEFF at the start of what is decoded (a name, a value, the whole file
// when it moves to UTF-8) is a character of it, kept like any other.
// A character cut off at the end is a replacement character, or nothing when
// the cut was ours.
enum class Cut { Keep, DropSplitCharacter };
QString decode(QByteArrayView bytes, FileEncoding enc, Cut cut = Cut::Keep) {
    // A decoder that is not stateless keeps a character cut off at the end
    // for more bytes that never come.
    const auto atEnd =
        cut == Cut::Keep ? QStringConverter::Flag::Stateless : QStringConverter::Flag::Default;
    if (enc == FileEncoding::ShiftJis)
        return QStringDecoder(kShiftJisName, atEnd).decode(bytes);
    return QStringDecoder(QStringConverter::Utf8, atEnd | QStringConverter::Flag::ConvertInitialBom)
        .decode(bytes);
}

std::optional<QByteArray> encode(const QString& text, FileEncoding enc) {
    if (enc == FileEncoding::Utf8)
        return text.toUtf8();
    if (!canEncode(text, TextEncoding::ShiftJis))
        return std::nullopt;
    return QByteArray(QStringEncoder(kShiftJisName).encode(text));
}

bool sameName(QByteArrayView a, QStringView b, FileEncoding enc) {
    return QString::compare(decode(a, enc), b, Qt::CaseInsensitive) == 0;
}

// The parsed view of a settings file: where its lines, its section and its
// keys stand, without copying anything.
struct Located {
    std::vector<Line> lines;
    qsizetype sectionLine = -1; // the header of the first matching section
    qsizetype sectionEnd = -1;  // the line after the section's last line
    struct Found {
        qsizetype line = -1;      // the first matching key inside the section
        qsizetype valueStart = 0; // byte offset of the value in the key line
    };
    std::vector<Found> keys; // one for each key asked for, in order
};

std::vector<Line> splitLines(const QByteArray& bytes) {
    std::vector<Line> lines;
    qsizetype start = 0;
    const qsizetype n = bytes.size();
    while (start < n) {
        qsizetype nl = bytes.indexOf('\n', start);
        const qsizetype next = nl < 0 ? n : nl + 1;
        qsizetype end = nl < 0 ? n : nl;
        if (end > start && bytes[end - 1] == '\r')
            --end;
        lines.push_back({start, end});
        start = next;
    }
    return lines;
}

bool isShiftJisLeadByte(char c) {
    const auto b = uchar(c);
    return (b >= 0x81 && b <= 0x9f) || (b >= 0xe0 && b <= 0xfc);
}

// Where the first "]" of a line stands, or -1. In Shift-JIS the second byte
// of a character may be "]" (0x5D): that one is part of the character, as
// the line reads, not the end of a section name.
qsizetype closingBracket(QByteArrayView line, FileEncoding enc) {
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == ']')
            return i;
        if (enc == FileEncoding::ShiftJis && isShiftJisLeadByte(line[i]))
            ++i;
    }
    return -1;
}

// The name inside "[name]" when the line is a section header.
std::optional<QByteArrayView> headerName(QByteArrayView line, FileEncoding enc) {
    const QByteArrayView t = trimmed(line);
    if (t.size() < 2 || t.front() != '[')
        return std::nullopt;
    const qsizetype close = closingBracket(t, enc);
    if (close < 0)
        return std::nullopt;
    return trimmed(t.sliced(1, close - 1));
}

// Bytes that read as the same characters in the file's encoding as in
// Latin-1: ASCII in UTF-8; printable ASCII in Shift-JIS, which reads some
// control bytes as other control characters.
bool readsAsLatin1(QByteArrayView bytes, FileEncoding enc) {
    if (enc == FileEncoding::Utf8)
        return std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; });
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return uchar(c) >= 0x20 && uchar(c) < 0x7f; });
}

// Whether a key name as it stands in the file is the name asked for. Names
// of plain ASCII (nearly every line) are compared without decoding them
// (`decoded` null); a name with other characters is decoded, since some of
// them fold to ASCII letters.
bool sameKey(QByteArrayView name, const QString& decoded, const QString& key) {
    if (decoded.isNull())
        return QString::compare(key, QLatin1String(name.data(), name.size()),
                                Qt::CaseInsensitive) == 0;
    return QString::compare(decoded, key, Qt::CaseInsensitive) == 0;
}

// Finds the section and, within it, the first line of each key, in one pass
// over the lines.
Located locate(const QByteArray& bytes, QStringView section, const std::vector<QString>& keys,
               FileEncoding enc) {
    Located loc;
    loc.keys.resize(keys.size());
    loc.lines = splitLines(bytes);
    // A byte order mark (left by an editor that saved the file) is not part
    // of the first line.
    if (enc == FileEncoding::Utf8 && bytes.startsWith("\xef\xbb\xbf"))
        loc.lines.front().start += 3;
    size_t missing = keys.size();
    const QByteArrayView all(bytes);
    for (qsizetype i = 0; i < qsizetype(loc.lines.size()); ++i) {
        const Line& l = loc.lines[size_t(i)];
        const QByteArrayView text = all.sliced(l.start, l.end - l.start);
        const auto name = headerName(text, enc);
        if (loc.sectionLine >= 0) {
            if (name) {
                loc.sectionEnd = i;
                return loc;
            }
            if (missing == 0)
                continue;
            const qsizetype eq = text.indexOf('=');
            if (eq < 0)
                continue;
            const QByteArrayView name = trimmed(text.first(eq));
            const QString decoded = readsAsLatin1(name, enc) ? QString() : decode(name, enc);
            for (size_t k = 0; k < keys.size(); ++k) {
                if (loc.keys[k].line < 0 && sameKey(name, decoded, keys[k])) {
                    loc.keys[k] = {i, l.start + eq + 1};
                    --missing;
                }
            }
        } else if (name && sameName(*name, section, enc)) {
            loc.sectionLine = i;
        }
    }
    if (loc.sectionLine >= 0)
        loc.sectionEnd = qsizetype(loc.lines.size());
    return loc;
}

QByteArray lineBreakOf(const QByteArray& bytes) {
    const qsizetype nl = bytes.indexOf('\n');
    if (nl > 0 && bytes[nl - 1] == '\r')
        return "\r\n";
    if (nl >= 0)
        return "\n";
    return TextFormat::nativeLineBreak() == LineBreak::CRLF ? "\r\n" : "\n";
}

// A value stays on its one line: whatever follows a line break is dropped.
// (Not with a regular expression: one finds nothing in a text that holds a
// lone surrogate, and the whole value would be written, breaks and all.)
QString oneLine(const QString& value) {
    const auto end = std::find_if(value.cbegin(), value.cend(),
                                  [](QChar c) { return c == u'\r' || c == u'\n'; });
    return value.left(end - value.cbegin());
}

} // namespace

std::vector<std::optional<QString>> readValues(const QByteArray& bytes, QStringView section,
                                               const std::vector<QString>& keys) {
    const FileEncoding enc = detectEncoding(bytes);
    const Located loc = locate(bytes, section, keys, enc);
    std::vector<std::optional<QString>> values(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        const Located::Found& found = loc.keys[i];
        if (found.line < 0)
            continue;
        const Line& l = loc.lines[size_t(found.line)];
        const QByteArrayView value =
            QByteArrayView(bytes).sliced(found.valueStart, l.end - found.valueStart);
        // A character that the cut has split is dropped whole.
        values[i] = value.size() > kMaxValueBytes
                        ? decode(value.first(kMaxValueBytes), enc, Cut::DropSplitCharacter)
                        : decode(value, enc);
    }
    return values;
}

std::optional<QString> readValue(const QByteArray& bytes, QStringView section, QStringView key) {
    return readValues(bytes, section, {key.toString()}).front();
}

namespace {

// The bytes between the values that are replaced: the part of the file that
// keeps its bytes. (Both encodings decode it piece by piece: every piece
// begins at a line break and ends with "=", which no character spans.)
struct Kept {
    bool utf8 = true;
    bool shiftJis = true;
};
Kept keptPart(const QByteArray& bytes, const Located& loc, bool shiftJisToo) {
    std::vector<std::pair<qsizetype, qsizetype>> replaced;
    for (const Located::Found& f : loc.keys)
        if (f.line >= 0)
            replaced.emplace_back(f.valueStart, loc.lines[size_t(f.line)].end);
    std::sort(replaced.begin(), replaced.end());
    Kept kept;
    qsizetype from = 0;
    kept.shiftJis = shiftJisToo;
    auto piece = [&](qsizetype to) {
        const QByteArrayView p = QByteArrayView(bytes).sliced(from, to - from);
        kept.utf8 = kept.utf8 && isValidUtf8(p);
        kept.shiftJis = kept.shiftJis && isValidShiftJis(p);
    };
    for (const auto& [start, end] : replaced) {
        piece(start);
        from = end;
    }
    piece(bytes.size());
    return kept;
}

// The key lines written into a file, one key after another.
struct Written {
    QByteArray section;
    std::vector<QByteArray> keys;
    std::vector<QByteArray> values;
};

} // namespace

QByteArray withValues(QByteArray bytes, QStringView section, const KeyValues& values) {
    // A key named twice keeps the place of its first write and the value of
    // its last, as writing them one after another would.
    std::vector<QString> keys;
    std::vector<QString> lines;
    for (const auto& [key, value] : values) {
        const QString& name = key;
        const auto same = std::find_if(keys.begin(), keys.end(), [&name](const QString& k) {
            return QString::compare(k, name, Qt::CaseInsensitive) == 0;
        });
        if (same == keys.end()) {
            keys.push_back(key);
            lines.push_back(oneLine(value));
        } else {
            lines[size_t(same - keys.begin())] = oneLine(value);
        }
    }
    if (keys.empty())
        return bytes;

    // One key after another, when the file's encoding would change on the
    // way (a write it cannot hold, or one after which the file would read in
    // another encoding): each write decides again, as it always has.
    auto oneAfterAnother = [&] {
        for (const auto& [key, value] : values)
            bytes = withValues(std::move(bytes), section, {{key, value}});
        return std::move(bytes);
    };

    bool validUtf8 = false;
    FileEncoding enc = detectEncoding(bytes, &validUtf8);
    // Every value counts, one written over later included.
    const bool encodable = encode(section.toString(), enc) &&
                           std::all_of(values.begin(), values.end(), [enc](const auto& kv) {
                               return encode(kv.first, enc) && encode(oneLine(kv.second), enc);
                           });
    if (!encodable) {
        if (values.size() > 1)
            return oneAfterAnother();
        // The older encoding cannot hold the value (or the names): the file
        // moves to UTF-8, keeping every character it had.
        bytes = decode(bytes, enc).toUtf8();
        enc = FileEncoding::Utf8;
        validUtf8 = true;
    }
    Written w;
    w.section = *encode(section.toString(), enc);
    for (size_t i = 0; i < keys.size(); ++i) {
        w.keys.push_back(*encode(keys[i], enc));
        w.values.push_back(*encode(lines[i], enc));
    }
    const Located loc = locate(bytes, section, keys, enc);
    if (values.size() > 1 && !validUtf8) {
        // A file that is not UTF-8 keeps reading in the same encoding after
        // every write only when the bytes it keeps decide it.
        const Kept kept = keptPart(bytes, loc, enc == FileEncoding::Utf8);
        if (kept.utf8 || (enc == FileEncoding::Utf8 && kept.shiftJis))
            return oneAfterAnother();
    }

    const QByteArray eol = lineBreakOf(bytes);
    QByteArray out;
    if (loc.sectionLine >= 0) {
        // Keys that are missing go after the section's last line that is not
        // blank, one after another.
        qsizetype last = loc.sectionLine;
        for (qsizetype i = loc.sectionEnd - 1; i > loc.sectionLine; --i) {
            const Line& l = loc.lines[size_t(i)];
            if (!trimmed(QByteArrayView(bytes).sliced(l.start, l.end - l.start)).isEmpty()) {
                last = i;
                break;
            }
        }
        const qsizetype insertAt = loc.lines[size_t(last)].end;
        std::vector<size_t> missing;
        std::vector<std::pair<qsizetype, size_t>> replaced; // value start, key
        for (size_t k = 0; k < keys.size(); ++k) {
            if (loc.keys[k].line < 0)
                missing.push_back(k);
            else
                replaced.emplace_back(loc.keys[k].valueStart, k);
        }
        std::sort(replaced.begin(), replaced.end());

        QByteArray inserted;
        if (!missing.empty()) {
            // The byte before the first inserted line: the last line's own,
            // unless that line is a key written before.
            char before = insertAt > 0 ? bytes[insertAt - 1] : '\0';
            for (const auto& [start, k] : replaced)
                if (loc.keys[k].line == last && k < missing.front())
                    before = w.values[k].isEmpty() ? '=' : w.values[k].back();
            // A line that still ends in CR after its break was taken off
            // would lose that CR to a lone LF put after it.
            const QByteArray first = before == '\r' ? QByteArray("\r\n") : eol;
            // The lines after it break as the file then does: its first line
            // break may be the one just put in.
            const QByteArray later =
                QByteArrayView(bytes).first(insertAt).contains('\n') ? eol : first;
            for (size_t m = 0; m < missing.size(); ++m) {
                const size_t k = missing[m];
                inserted += (m == 0 ? first : later) + w.keys[k] + '=' + w.values[k];
            }
        }

        out.reserve(bytes.size() + inserted.size() + 64 * qsizetype(keys.size()));
        qsizetype from = 0;
        bool insertedYet = false;
        for (const auto& [start, k] : replaced) {
            const qsizetype end = loc.lines[size_t(loc.keys[k].line)].end;
            if (!insertedYet && insertAt < start) {
                out += QByteArrayView(bytes).sliced(from, insertAt - from);
                out += inserted;
                from = insertAt;
                insertedYet = true;
            }
            out += QByteArrayView(bytes).sliced(from, start - from);
            out += w.values[k];
            from = end;
        }
        if (!insertedYet) {
            out += QByteArrayView(bytes).sliced(from, insertAt - from);
            out += inserted;
            from = insertAt;
        }
        out += QByteArrayView(bytes).sliced(from);
    } else {
        out = std::move(bytes);
        // A last line ending in CR reads without it: the break it lacks is
        // only the LF (a CR LF after it would leave the CR in its value).
        const bool hadLineFeed = out.contains('\n');
        const bool endedInCr = out.endsWith('\r');
        if (endedInCr)
            out += '\n';
        else if (!out.isEmpty() && !out.endsWith('\n'))
            out += eol;
        const QByteArray later = !hadLineFeed && endedInCr ? QByteArray("\r\n") : eol;
        out += '[' + w.section + ']' + eol + w.keys[0] + '=' + w.values[0];
        for (size_t k = 1; k < keys.size(); ++k)
            out += later + w.keys[k] + '=' + w.values[k];
        out += eol;
    }
    // The encoding is told from the whole file, so a file that only the
    // replaced bytes kept from reading in another encoding would change how
    // every other key reads (a file neither UTF-8 nor Shift-JIS that turns
    // into valid Shift-JIS, or a Shift-JIS file that turns into valid UTF-8).
    // Such a file moves to UTF-8 with each character as it read before.
    // (Several keys at once got here only when the bytes kept decide the
    // encoding as before.)
    if (values.size() == 1 && detectEncoding(out) != enc)
        out = decode(out, enc).toUtf8();
    return out;
}

QByteArray withValue(QByteArray bytes, QStringView section, QStringView key, const QString& value) {
    return withValues(std::move(bytes), section, {{key.toString(), value}});
}

} // namespace ostrel::settingsfile
