#include "ProfileFormat.h"

#include "TextCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace ostrel::profile {

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

FileEncoding detectEncoding(const QByteArray& bytes) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString asUtf8 = utf8.decode(bytes);
    if (!utf8.hasError())
        return FileEncoding::Utf8;
    // Stateless: a character cut off by the end of the file is an error.
    QStringDecoder sjis(kShiftJisName, QStringConverter::Flag::Stateless);
    const QString asShiftJis = sjis.decode(bytes);
    return sjis.hasError() ? FileEncoding::Utf8 : FileEncoding::ShiftJis;
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

// The parsed view of a profile file: where its lines, its section and its key
// stand, without copying anything.
struct Located {
    std::vector<Line> lines;
    qsizetype sectionLine = -1; // the header of the first matching section
    qsizetype sectionEnd = -1;  // the line after the section's last line
    qsizetype keyLine = -1;     // the first matching key inside it
    qsizetype valueStart = 0;   // byte offset of the value in the key line
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

Located locate(const QByteArray& bytes, QStringView section, QStringView key, FileEncoding enc) {
    Located loc;
    loc.lines = splitLines(bytes);
    // A byte order mark (left by an editor that saved the file) is not part
    // of the first line.
    if (enc == FileEncoding::Utf8 && bytes.startsWith("\xef\xbb\xbf"))
        loc.lines.front().start += 3;
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
            if (loc.keyLine >= 0)
                continue;
            const qsizetype eq = text.indexOf('=');
            if (eq >= 0 && sameName(trimmed(text.first(eq)), key, enc)) {
                loc.keyLine = i;
                loc.valueStart = l.start + eq + 1;
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

std::optional<QString> readValue(const QByteArray& bytes, QStringView section, QStringView key) {
    const FileEncoding enc = detectEncoding(bytes);
    const Located loc = locate(bytes, section, key, enc);
    if (loc.keyLine < 0)
        return std::nullopt;
    const Line& l = loc.lines[size_t(loc.keyLine)];
    QByteArrayView value = QByteArrayView(bytes).sliced(loc.valueStart, l.end - loc.valueStart);
    if (value.size() > kMaxValueBytes) {
        // A character that the cut has split is dropped whole.
        return decode(value.first(kMaxValueBytes), enc, Cut::DropSplitCharacter);
    }
    return decode(value, enc);
}

QByteArray withValue(QByteArray bytes, QStringView section, QStringView key, const QString& value) {
    FileEncoding enc = detectEncoding(bytes);
    const QString line = oneLine(value);
    std::optional<QByteArray> encodedValue = encode(line, enc);
    std::optional<QByteArray> keyBytes = encode(key.toString(), enc);
    std::optional<QByteArray> sectionBytes = encode(section.toString(), enc);
    if (!encodedValue || !keyBytes || !sectionBytes) {
        // The older encoding cannot hold the value (or the names): the file
        // moves to UTF-8, keeping every character it had.
        bytes = decode(bytes, enc).toUtf8();
        enc = FileEncoding::Utf8;
        encodedValue = line.toUtf8();
        keyBytes = key.toUtf8();
        sectionBytes = section.toUtf8();
    }
    const QByteArray eol = lineBreakOf(bytes);
    const Located loc = locate(bytes, section, key, enc);

    QByteArray out;
    if (loc.keyLine >= 0) {
        const Line& l = loc.lines[size_t(loc.keyLine)];
        out = bytes.left(loc.valueStart) + *encodedValue + bytes.sliced(l.end);
    } else if (loc.sectionLine >= 0) {
        // After the section's last line that is not blank.
        qsizetype last = loc.sectionLine;
        for (qsizetype i = loc.sectionEnd - 1; i > loc.sectionLine; --i) {
            const Line& l = loc.lines[size_t(i)];
            if (!trimmed(QByteArrayView(bytes).sliced(l.start, l.end - l.start)).isEmpty()) {
                last = i;
                break;
            }
        }
        const Line& l = loc.lines[size_t(last)];
        qsizetype insertAt = l.end;
        // A line that still ends in CR after its break was taken off would
        // lose that CR to a lone LF put after it.
        const QByteArray br = insertAt > 0 && bytes[insertAt - 1] == '\r' ? "\r\n" : eol;
        QByteArray piece = br + *keyBytes + '=' + *encodedValue;
        // Keep the line's own break after the inserted line.
        out = bytes.left(insertAt) + piece + bytes.sliced(insertAt);
    } else {
        out = bytes;
        // A last line ending in CR reads without it: the break it lacks is
        // only the LF (a CR LF after it would leave the CR in its value).
        if (out.endsWith('\r'))
            out += '\n';
        else if (!out.isEmpty() && !out.endsWith('\n'))
            out += eol;
        out += '[' + *sectionBytes + ']' + eol + *keyBytes + '=' + *encodedValue + eol;
    }
    // The encoding is told from the whole file, so a file that only the
    // replaced bytes kept from reading in another encoding would change how
    // every other key reads (a file neither UTF-8 nor Shift-JIS that turns
    // into valid Shift-JIS, or a Shift-JIS file that turns into valid UTF-8).
    // Such a file moves to UTF-8 with each character as it read before.
    if (detectEncoding(out) != enc)
        out = decode(out, enc).toUtf8();
    return out;
}

} // namespace ostrel::profile
