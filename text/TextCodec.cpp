#include "TextCodec.h"

#include <QHash>
#include <QStringDecoder>
#include <QStringEncoder>
#include <array>
#include <cstring>
#include <optional>

namespace ostrel {

namespace {

const char* const kShiftJisName = "windows-31j";

bool isAscii(const QByteArray& bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// Decodes with a named or built-in converter; answers whether it met no error.
template <typename Decoder> bool decodeWith(Decoder&& decoder, QByteArrayView bytes, QString& out) {
    out = decoder.decode(bytes);
    return !decoder.hasError();
}

// Reads UTF-8 (any byte-order mark already taken off: a second one is a
// character of the text); answers whether every byte was valid. The bytes are
// read a piece at a time, so that a file in another encoding is given up at
// its first piece.
bool decodeUtf8(QByteArrayView bytes, QString& out) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                       QStringConverter::Flag::ConvertInitialBom);
    out.resize(bytes.size()); // at most one unit a byte
    QChar* const begin = out.data();
    QChar* p = begin;
    constexpr qsizetype kPiece = 1 << 20;
    while (!bytes.isEmpty()) {
        // A piece ends before a character's first byte.
        qsizetype n = qMin(kPiece, bytes.size());
        while (n < bytes.size() && n > kPiece - 4 && (quint8(bytes[n]) & 0xC0) == 0x80)
            --n;
        p = decoder.appendToBuffer(p, bytes.first(n));
        if (decoder.hasError()) {
            out.clear();
            return false;
        }
        bytes = bytes.sliced(n);
    }
    out.truncate(p - begin);
    return true;
}

QByteArray encodeShiftJis(QStringView text, bool* ok) {
    QStringEncoder encoder(kShiftJisName);
    QByteArray bytes = encoder.encode(text);
    *ok = !encoder.hasError();
    return bytes;
}

QString decodeShiftJis(QByteArrayView bytes, bool* ok) {
    QStringDecoder decoder(kShiftJisName);
    QString text = decoder.decode(bytes);
    *ok = !decoder.hasError();
    return text;
}

QStringView breakText(LineBreak b) {
    switch (b) {
    case LineBreak::CRLF:
        return u"\r\n";
    case LineBreak::CR:
        return u"\r";
    case LineBreak::LF:
        break;
    }
    return u"\n";
}

// Turns CR LF, CR and LF into "\n" and records how the lines ended.
void normaliseBreaks(QString& text, TextFormat& format, LineBreak fallback) {
    // The usual file has no CR at all: two quick searches tell.
    if (!text.contains(u'\r')) {
        format.lineBreak = text.contains(u'\n') ? LineBreak::LF : fallback;
        return;
    }
    const qsizetype nCr = text.count(u'\r');
    const qsizetype nLf = text.count(u'\n');
    if (nLf == 0) {
        text.replace(u'\r', u'\n');
        format.lineBreak = LineBreak::CR;
        return;
    }
    if (nCr == nLf && text.count(QStringLiteral("\r\n")) == nCr) {
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        format.lineBreak = LineBreak::CRLF;
        return;
    }

    // Mixed breaks: walk the text once, line by line.
    auto mixed = std::make_shared<MixedBreaks>();
    QString out;
    out.reserve(text.size());
    std::array<qsizetype, 3> counts{0, 0, 0};
    qsizetype lineStart = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\n' && c != u'\r')
            continue;
        LineBreak b = LineBreak::LF;
        qsizetype next = i + 1;
        if (c == u'\r') {
            if (next < n && text[next] == u'\n') {
                b = LineBreak::CRLF;
                ++next;
            } else {
                b = LineBreak::CR;
            }
        }
        const QStringView line = QStringView(text).mid(lineStart, i - lineStart);
        out += line;
        out += u'\n';
        mixed->breaks.push_back(b);
        mixed->lineHashes.push_back(lineHash(line));
        ++counts[size_t(b)];
        lineStart = next;
        i = next - 1;
    }
    const QStringView last = QStringView(text).mid(lineStart);
    out += last;
    mixed->lineHashes.push_back(lineHash(last));
    std::size_t best = 0;
    for (std::size_t k = 1; k < counts.size(); ++k)
        if (counts[k] > counts[best])
            best = k;
    format.lineBreak = LineBreak(best);
    format.mixed = std::move(mixed);
    text = std::move(out);
}

// Puts the line breaks back: unedited lines at the start and at the end keep
// the breaks they had; edited and new lines take the most common break.
QString restoreBreaks(const QString& text, const TextFormat& format) {
    if (!format.mixed) {
        if (format.lineBreak == LineBreak::LF)
            return text;
        QString out = text;
        out.replace(QStringLiteral("\n"), breakText(format.lineBreak).toString());
        return out;
    }
    const MixedBreaks& old = *format.mixed;
    QList<QStringView> lines = QStringView(text).split(u'\n');
    const qsizetype oldCount = qsizetype(old.lineHashes.size());
    const qsizetype newCount = lines.size();
    qsizetype prefix = 0;
    while (prefix < oldCount && prefix < newCount &&
           old.lineHashes[size_t(prefix)] == lineHash(lines[prefix]))
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < oldCount - prefix && suffix < newCount - prefix &&
           old.lineHashes[size_t(oldCount - 1 - suffix)] == lineHash(lines[newCount - 1 - suffix]))
        ++suffix;

    QString out;
    out.reserve(text.size() + newCount);
    std::optional<LineBreak> previous;
    bool previousKept = false;
    for (qsizetype i = 0; i < newCount; ++i) {
        out += lines[i];
        if (i == newCount - 1)
            break;
        LineBreak b = format.lineBreak;
        bool kept = false;
        // The break after line i belongs to line i; the last old line has none,
        // so a line that took its place keeps the common break.
        if (i < prefix && i < oldCount - 1) {
            b = old.breaks[size_t(i)];
            kept = true;
        } else if (i >= newCount - suffix) {
            const qsizetype oldIndex = oldCount - (newCount - i);
            if (oldIndex < oldCount - 1) {
                b = old.breaks[size_t(oldIndex)];
                kept = true;
            }
        }
        // A CR followed straight by an LF (an empty line between them) would
        // be read back as one CR LF, losing a line. One of the two breaks
        // changes, the edited line's where there is one: an edited empty line
        // takes a CR too; otherwise the CR before it becomes a CR LF.
        if (previous == LineBreak::CR && lines[i].isEmpty() && b == LineBreak::LF) {
            if (!kept || previousKept)
                b = LineBreak::CR;
            else
                out += u'\n'; // after the CR: the line is empty
        }
        out += breakText(b);
        previous = b;
        previousKept = kept;
    }
    return out;
}

// Code page 932 as the platform's converter has it, one lookup a character
// each way. Built once by decoding every byte and byte pair: what reads as
// one character is kept for reading, and the character is kept for writing
// if the converter writes it back to a code that reads as the same character
// (characters it only writes as a look-alike are refused, as are all those it
// cannot write at all).
class ShiftJisTable {
public:
    static const ShiftJisTable& instance() {
        static const ShiftJisTable table;
        return table;
    }
    // 0: not held; 0x100 + the byte for one byte; otherwise lead byte * 256 +
    // trail byte. (Below 0x80 the code page is not quite ASCII: some control
    // characters trade places.)
    quint16 code(char16_t c) const { return codes_[c]; }
    CodePage932Codes reading() const { return {chars_.data(), codes_.data(), lead_.data()}; }

    // Codes for writing: as code() has them, with kBreak for "\n".
    static constexpr quint16 kBreak = 0xFFFF; // no lead byte is 0xFF
    const quint16* writing() const { return writing_.data(); }

    // Reads the bytes into `out` (room for one unit a byte) when every
    // character reads back to its own bytes; answers the end of what was
    // written, or nullptr at the first byte or pair that does not.
    char16_t* decodeLossless(QByteArrayView bytes, char16_t* out) const {
        const auto* p = reinterpret_cast<const quint8*>(bytes.data());
        const auto* const end = p + bytes.size();
        while (p != end) {
            const quint8 b = *p;
            char16_t c;
            quint16 code;
            if (!lead_[b]) {
                c = chars_[b];
                code = quint16(0x100 | b);
                ++p;
            } else {
                if (end - p < 2)
                    return nullptr;
                code = quint16(b << 8 | p[1]);
                c = chars_[code];
                p += 2;
            }
            if (c == 0 ? code != 0x100 : codes_[c] != code)
                return nullptr;
            *out++ = c;
        }
        return out;
    }

    // As decodeLossless, for bytes that may end inside a pair: a lead byte at
    // the end is left unread (`*used` tells how many bytes were read).
    char16_t* decodeLosslessPrefix(QByteArrayView bytes, char16_t* out, qsizetype* used) const {
        qsizetype n = bytes.size();
        // Pairs are read from the start: the last byte begins one only when
        // it is a lead byte that is not itself the trail of a pair.
        const auto* p = reinterpret_cast<const quint8*>(bytes.data());
        qsizetype i = 0;
        while (i < n) {
            if (!lead_[p[i]]) {
                ++i;
            } else if (i + 1 < n) {
                i += 2;
            } else {
                n = i;
                break;
            }
        }
        *used = n;
        return decodeLossless(bytes.first(n), out);
    }

private:
    ShiftJisTable() : codes_(0x10000, 0), chars_(0x10000, 0), lead_(0x100, false) {
        QStringDecoder decoder(kShiftJisName);
        QStringEncoder encoder(kShiftJisName);
        // (The converters' error flags are not used: they stay set across
        // resetState(). A code that does not read back as the character it
        // was written for, substitutes included, is what is refused.)
        auto consider = [&](QByteArrayView bytes) {
            decoder.resetState();
            const QString s = decoder.decode(bytes);
            if (s.size() != 1 || s[0].isSurrogate() || s[0] == QChar::ReplacementCharacter)
                return;
            const char16_t c = s[0].unicode();
            if (bytes.size() == 1)
                chars_[quint8(bytes[0])] = c;
            else
                chars_[quint16(quint8(bytes[0]) << 8 | quint8(bytes[1]))] = c;
            if (codes_[c] != 0)
                return;
            encoder.resetState();
            const QByteArray back = encoder.encode(s);
            if (back.isEmpty() || back.size() > 2)
                return;
            decoder.resetState();
            if (decoder.decode(back) != s)
                return;
            codes_[c] = back.size() == 1 ? quint16(0x100 | quint8(back[0]))
                                         : quint16(quint8(back[0]) << 8 | quint8(back[1]));
        };
        char bytes[2];
        for (int lead = 0x00; lead <= 0xFF; ++lead) {
            bytes[0] = char(lead);
            consider(QByteArrayView(bytes, 1));
        }
        for (int lead = 0x80; lead <= 0xFF; ++lead) {
            bytes[0] = char(lead);
            for (int trail = 0x00; trail <= 0xFF; ++trail) {
                bytes[1] = char(trail);
                consider(QByteArrayView(bytes, 2));
            }
        }
        writing_ = codes_;
        writing_[u'\n'] = kBreak;
        // A lead byte begins pairs and reads as nothing alone.
        for (int lead = 0x80; lead <= 0xFF; ++lead)
            for (int trail = 0x00; trail <= 0xFF && !lead_[lead]; ++trail)
                lead_[lead] = chars_[lead << 8 | trail] != 0 && chars_[lead] == 0;
    }

    std::vector<quint16> codes_; // character -> code
    std::vector<quint16> writing_;
    std::vector<char16_t> chars_; // code (a byte, or lead * 256 + trail) -> character
    std::vector<quint8> lead_;
};

// Shift-JIS read straight from the table, for the usual file that reads and
// writes back byte for byte; a null string for any other (which the
// converter then reads, to tell what it makes of it).
QString decodeShiftJisLossless(QByteArrayView bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(text.data());
    const char16_t* end = ShiftJisTable::instance().decodeLossless(bytes, out);
    if (!end)
        return {};
    text.truncate(end - out);
    return text;
}

// Follows the bytes of a Shift-JIS text as they are written, to tell whether
// decodeText reads them back as that text. Bytes that are valid UTF-8 are read
// as UTF-8, so a text whose Shift-JIS bytes happen to be valid UTF-8 would
// come back as other characters; bytes of ASCII alone are read as ASCII,
// where the three control characters that code page 932 rotates would change;
// and a byte-order mark at the start decides before anything else.
class ShiftJisReadBack {
public:
    void follow(QByteArrayView bytes) {
        if (m_start.size() < 3)
            m_start += bytes.first(qMin(3 - m_start.size(), bytes.size()));
        if (!m_utf8)
            return; // read as Shift-JIS whatever follows
        for (const char ch : bytes) {
            const auto c = quint8(ch);
            if (m_need > 0) {
                if (c < m_low || c > m_high) {
                    m_utf8 = false;
                    return;
                }
                m_low = 0x80;
                m_high = 0xBF;
                --m_need;
            } else if (c < 0x80) {
                m_rotated = m_rotated || c == 0x1A || c == 0x1C || c == 0x7F;
            } else if (!lead(c)) {
                m_utf8 = false;
                return;
            }
        }
    }

    bool readsBack() const {
        const QByteArrayView start(m_start);
        if (start.startsWith("\xEF\xBB\xBF") || start.startsWith("\xFF\xFE") ||
            start.startsWith("\xFE\xFF"))
            return false;
        const bool utf8 = m_utf8 && m_need == 0;
        return !utf8 || (m_ascii && !m_rotated);
    }

private:
    // The first byte of a sequence of UTF-8: how many follow, and the range
    // of the first of them (which rules out overlong forms, surrogates and
    // values beyond U+10FFFF).
    bool lead(quint8 c) {
        m_ascii = false;
        if (c >= 0xC2 && c <= 0xDF)
            m_need = 1;
        else if (c >= 0xE0 && c <= 0xEF)
            m_need = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            m_need = 3;
        else
            return false;
        m_low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
        m_high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
        return true;
    }

    QByteArray m_start;
    bool m_utf8 = true;
    bool m_ascii = true;
    bool m_rotated = false;
    int m_need = 0;
    quint8 m_low = 0x80, m_high = 0xBF;
};

// The most bytes any encoding here writes for one UTF-16 unit (a line break
// written as CR LF in UTF-16).
constexpr qsizetype kMaxBytesPerUnit = 4;

QByteArrayView byteOrderMark(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8Bom:
        return "\xEF\xBB\xBF";
    case TextEncoding::Utf16LE:
        return "\xFF\xFE";
    case TextEncoding::Utf16BE:
        return "\xFE\xFF";
    case TextEncoding::Utf8:
    case TextEncoding::ShiftJis:
        break;
    }
    return {};
}

inline char* putBreak(char* out, LineBreak lineBreak) {
    if (lineBreak != LineBreak::LF)
        *out++ = '\r';
    if (lineBreak != LineBreak::CR)
        *out++ = '\n';
    return out;
}

char* encodeUtf8(QStringView text, LineBreak lineBreak, char* out) {
    const char16_t* p = text.utf16();
    const char16_t* const end = p + text.size();
    while (p != end) {
        // Runs of ASCII without a line break, four characters at a time.
        while (end - p >= 4) {
            quint64 four;
            std::memcpy(&four, p, sizeof four);
            constexpr quint64 lf = 0x000A000A000A000Aull;
            const quint64 x = four ^ lf; // a line break becomes a zero unit
            const bool hasBreak = ((x - 0x0001000100010001ull) & ~x & 0x8000800080008000ull) != 0;
            if ((four & 0xFF80FF80FF80FF80ull) != 0 || hasBreak)
                break;
            out[0] = char(p[0]);
            out[1] = char(p[1]);
            out[2] = char(p[2]);
            out[3] = char(p[3]);
            out += 4;
            p += 4;
        }
        // Then one character at a time, until a character of plain ASCII.
        while (p != end) {
            const char16_t c = *p++;
            if (c < 0x80) {
                if (c != u'\n') {
                    *out++ = char(c);
                    break;
                }
                out = putBreak(out, lineBreak);
            } else if (c < 0x800) {
                *out++ = char(0xC0 | (c >> 6));
                *out++ = char(0x80 | (c & 0x3F));
            } else if (!QChar::isSurrogate(c)) {
                out[0] = char(0xE0 | (c >> 12));
                out[1] = char(0x80 | ((c >> 6) & 0x3F));
                out[2] = char(0x80 | (c & 0x3F));
                out += 3;
            } else if (QChar::isHighSurrogate(c) && p != end && QChar::isLowSurrogate(*p)) {
                const char32_t u = QChar::surrogateToUcs4(c, *p++);
                out[0] = char(0xF0 | (u >> 18));
                out[1] = char(0x80 | ((u >> 12) & 0x3F));
                out[2] = char(0x80 | ((u >> 6) & 0x3F));
                out[3] = char(0x80 | (u & 0x3F));
                out += 4;
            } else {
                *out++ = '?'; // a lone surrogate, as QString::toUtf8 writes it
            }
        }
    }
    return out;
}

template <bool bigEndian> char* encodeUtf16(QStringView text, LineBreak lineBreak, char* out) {
    auto put = [&out](char16_t c) {
        *out++ = char(bigEndian ? c >> 8 : c & 0xFF);
        *out++ = char(bigEndian ? c & 0xFF : c >> 8);
    };
    const char16_t* p = text.utf16();
    const char16_t* const end = p + text.size();
    while (p != end) {
        const char16_t c = *p++;
        if (c != u'\n') {
            put(c);
            continue;
        }
        if (lineBreak != LineBreak::LF)
            put(u'\r');
        if (lineBreak != LineBreak::CR)
            put(u'\n');
    }
    return out;
}

// Answers nullptr when a character is not held by code page 932. Writes a
// byte past its end for a character of one byte (room every caller has).
char* encodeCodePage932(QStringView text, LineBreak lineBreak, char* out) {
    const quint16* const codes = ShiftJisTable::instance().writing();
    const char16_t* p = text.utf16();
    const char16_t* const end = p + text.size();
    while (p != end) {
        const quint16 code = codes[*p++];
        if (quint16(code - 1) >= ShiftJisTable::kBreak - 1) [[unlikely]] {
            if (code == 0)
                return nullptr;
            out = putBreak(out, lineBreak);
            continue;
        }
        // Both bytes of a pair, or the one byte, without a branch.
        const bool pair = code > 0x1FF;
        out[0] = char(pair ? code >> 8 : code);
        out[1] = char(code);
        out += 1 + int(pair);
    }
    return out;
}

// Writes the text with every "\n" as the given break; at most kMaxBytesPerUnit
// bytes a UTF-16 unit. Answers the end of what it wrote, or nullptr when a
// character cannot be held by the encoding.
char* encodeRun(QStringView text, TextEncoding encoding, LineBreak lineBreak, char* out) {
    switch (encoding) {
    case TextEncoding::Utf8:
    case TextEncoding::Utf8Bom:
        return encodeUtf8(text, lineBreak, out);
    case TextEncoding::Utf16LE:
        return encodeUtf16<false>(text, lineBreak, out);
    case TextEncoding::Utf16BE:
        return encodeUtf16<true>(text, lineBreak, out);
    case TextEncoding::ShiftJis:
        return encodeCodePage932(text, lineBreak, out);
    }
    return nullptr;
}

} // namespace

quint64 lineHash(QStringView line) {
    return qHash(line, size_t(0x9e3779b97f4a7c15ull));
}

LineBreak TextFormat::nativeLineBreak() {
#ifdef Q_OS_WIN
    return LineBreak::CRLF;
#else
    return LineBreak::LF;
#endif
}

DecodedText decodeText(const QByteArray& bytes) {
    DecodedText result;
    TextFormat& f = result.format;
    QByteArrayView body(bytes);
    bool ok = true;

    if (bytes.startsWith("\xEF\xBB\xBF")) {
        f.encoding = TextEncoding::Utf8Bom;
        ok = decodeUtf8(body.sliced(3), result.text);
        if (!ok) // shown as the converter reads it
            decodeWith(QStringDecoder(QStringConverter::Utf8), body.sliced(3), result.text);
    } else if (bytes.startsWith("\xFF\xFE")) {
        f.encoding = TextEncoding::Utf16LE;
        ok = decodeWith(
            QStringDecoder(QStringConverter::Utf16LE, QStringConverter::Flag::ConvertInitialBom),
            body.sliced(2), result.text);
        ok = ok && bytes.size() % 2 == 0;
    } else if (bytes.startsWith("\xFE\xFF")) {
        f.encoding = TextEncoding::Utf16BE;
        ok = decodeWith(
            QStringDecoder(QStringConverter::Utf16BE, QStringConverter::Flag::ConvertInitialBom),
            body.sliced(2), result.text);
        ok = ok && bytes.size() % 2 == 0;
    } else if (isAscii(bytes)) {
        result.text = QString::fromLatin1(bytes);
    } else if (decodeUtf8(body, result.text)) {
        f.encoding = TextEncoding::Utf8;
    } else if (QString exact = decodeShiftJisLossless(body); !exact.isNull()) {
        f.encoding = TextEncoding::ShiftJis;
        result.text = std::move(exact);
    } else {
        bool sjisOk = false;
        QString sjis = decodeShiftJis(body, &sjisOk);
        if (sjisOk) {
            // Code page 932 maps some characters from two byte sequences; a
            // file that uses the other one cannot be written back unchanged.
            bool encOk = false;
            sjisOk = encodeShiftJis(sjis, &encOk) == bytes && encOk;
            f.encoding = TextEncoding::ShiftJis;
            result.text = std::move(sjis);
            ok = sjisOk;
        } else {
            // Neither: show what UTF-8 makes of it, and say that it is lossy.
            f.encoding = TextEncoding::Utf8;
            decodeWith(QStringDecoder(QStringConverter::Utf8), body, result.text);
            ok = false;
        }
    }
    f.lossless = ok;
    normaliseBreaks(result.text, f, TextFormat::nativeLineBreak());
    return result;
}

bool canEncode(const QString& text, TextEncoding encoding) {
    if (encoding != TextEncoding::ShiftJis)
        return true;
    const ShiftJisTable& table = ShiftJisTable::instance();
    for (QChar c : text)
        if (table.code(c.unicode()) == 0)
            return false;
    return true;
}

std::optional<QByteArray> encodeText(const QString& text, const TextFormat& format) {
    const QString withBreaks = format.mixed ? restoreBreaks(text, format) : QString();
    const QStringView body = format.mixed ? QStringView(withBreaks) : QStringView(text);
    const LineBreak lineBreak = format.mixed ? LineBreak::LF : format.lineBreak;
    const QByteArrayView bom = byteOrderMark(format.encoding);
    QByteArray bytes;
    // Uninitialised room for the longest result; only what is written is touched.
    bytes.resize(bom.size() + body.size() * kMaxBytesPerUnit);
    char* out = bytes.data();
    if (!bom.isEmpty())
        std::memcpy(out, bom.data(), size_t(bom.size()));
    out = encodeRun(body, format.encoding, lineBreak, out + bom.size());
    if (!out)
        return std::nullopt;
    bytes.resize(out - bytes.constData());
    if (format.encoding == TextEncoding::ShiftJis) {
        ShiftJisReadBack readBack;
        readBack.follow(bytes);
        if (!readBack.readsBack())
            return std::nullopt;
    }
    return bytes;
}

bool encodeTextInPieces(QStringView text, const TextFormat& format,
                        const std::function<bool(QByteArrayView)>& write, bool* unencodable) {
    return encodeTextInPieces(std::vector<QStringView>{text}, format, write, unencodable);
}

bool encodeTextInPieces(const std::vector<QStringView>& parts, const TextFormat& format,
                        const std::function<bool(QByteArrayView)>& write, bool* unencodable) {
    *unencodable = false;
    if (format.mixed) {
        // Which lines were edited is worked out on the whole text.
        QString whole;
        qsizetype size = 0;
        for (QStringView part : parts)
            size += part.size();
        whole.reserve(size);
        for (QStringView part : parts)
            whole += part;
        std::optional<QByteArray> bytes = encodeText(whole, format);
        if (!bytes) {
            *unencodable = true;
            return false;
        }
        return write(*bytes);
    }
    // Pieces small enough to stay in the processor's cache on their way to the file.
    constexpr qsizetype kPieceUnits = 64 * 1024;
    std::vector<char> buffer(size_t(kPieceUnits * kMaxBytesPerUnit + 4));
    const QByteArrayView bom = byteOrderMark(format.encoding);
    if (!bom.isEmpty())
        std::memcpy(buffer.data(), bom.data(), size_t(bom.size()));
    char* out = buffer.data() + bom.size();
    char* const full = buffer.data() + kPieceUnits * kMaxBytesPerUnit;
    // A surrogate pair split between two parts is put together again.
    char16_t pair[2];
    bool pending = false;
    auto encode = [&](QStringView run) {
        out = encodeRun(run, format.encoding, format.lineBreak, out);
        *unencodable = out == nullptr;
        return out != nullptr;
    };
    const bool shiftJis = format.encoding == TextEncoding::ShiftJis;
    ShiftJisReadBack readBack;
    auto flush = [&] {
        const QByteArrayView piece(buffer.data(), out - buffer.data());
        if (shiftJis)
            readBack.follow(piece);
        const bool ok = write(piece);
        out = buffer.data();
        return ok;
    };
    for (QStringView part : parts) {
        if (pending && !part.isEmpty()) {
            if ((full - out) < 2 * kMaxBytesPerUnit && !flush())
                return false;
            pair[1] = part[0].unicode();
            const bool whole = QChar::isLowSurrogate(pair[1]);
            if (!encode(QStringView(pair, whole ? 2 : 1)))
                return false;
            if (whole)
                part = part.sliced(1);
            pending = false;
        }
        while (!part.isEmpty()) {
            qsizetype n = qMin((full - out) / kMaxBytesPerUnit, part.size());
            const bool endsInPair = n > 0 && part[n - 1].isHighSurrogate();
            if (endsInPair && n == part.size()) {
                // The part ends with half a pair, put together with the next part's start.
                pair[0] = part[n - 1].unicode();
                pending = true;
                if (n > 1 && !encode(part.first(n - 1)))
                    return false;
                break;
            }
            if (endsInPair)
                --n; // the pair stays in one run
            if (n == 0) {
                if (!flush())
                    return false;
                continue;
            }
            if (!encode(part.first(n)))
                return false;
            part = part.sliced(n);
        }
    }
    if (pending && !encode(QStringView(pair, 1)))
        return false;
    if (out != buffer.data() && !flush())
        return false;
    if (shiftJis && !readBack.readsBack()) {
        *unencodable = true;
        return false;
    }
    return true;
}

std::optional<QString> decodeCodePage932Exactly(QByteArrayView bytes) {
    QString text = decodeShiftJisLossless(bytes);
    if (text.isNull())
        return std::nullopt;
    return text;
}

CodePage932Codes codePage932Codes() {
    return ShiftJisTable::instance().reading();
}

std::optional<QByteArray> encodeCodePage932Exactly(QStringView text) {
    const ShiftJisTable& table = ShiftJisTable::instance();
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (QChar c : text) {
        const quint16 code = table.code(c.unicode());
        if (code == 0)
            return std::nullopt;
        if (code >> 8 != 1) // a pair: the lead byte first
            bytes += char(code >> 8);
        bytes += char(code & 0xFF);
    }
    return bytes;
}

QString encodingName(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Utf8Bom:
        return QStringLiteral("UTF-8 (BOM)");
    case TextEncoding::Utf16LE:
        return QStringLiteral("UTF-16 LE");
    case TextEncoding::Utf16BE:
        return QStringLiteral("UTF-16 BE");
    case TextEncoding::ShiftJis:
        return QStringLiteral("Shift-JIS");
    }
    return {};
}

// --- reading piece by piece -------------------------------------------------------

struct TextDecoder::State {
    enum class Mode { Start, Utf8Bom, Utf16LE, Utf16BE, Utf8, ShiftJis };
    Mode mode = Mode::Start;
    // Set once the bytes were read as UTF-8 in vain: the next reading takes
    // them for Shift-JIS.
    bool notUtf8 = false;
    QByteArray head;  // the first bytes, while fewer than a byte-order mark
    QByteArray carry; // the start of a character whose other bytes follow
    QStringDecoder utf8{QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                    QStringConverter::Flag::ConvertInitialBom};
    std::optional<QStringDecoder> utf16;
    qint64 bodyBytes = 0; // after the byte-order mark
    // Line breaks: CR, LF and CR LF all become "\n". A CR at the end of
    // what was given waits for the next character.
    bool pendingCr = false;
    std::array<qint64, 3> counts{0, 0, 0};
    std::optional<LineBreak> firstKind;
    bool mixed = false;
    std::vector<LineBreak> breaks; // every line's, once two kinds were met

    void restart() {
        const bool was = notUtf8;
        *this = State();
        notUtf8 = was;
    }

    void record(LineBreak kind, qint64 n) {
        if (n == 0)
            return;
        counts[size_t(kind)] += n;
        if (!firstKind)
            firstKind = kind;
        if (!mixed && kind != *firstKind) {
            mixed = true;
            breaks.assign(size_t(counts[size_t(*firstKind)]), *firstKind);
        }
        if (mixed)
            breaks.insert(breaks.end(), size_t(n), kind);
    }

    // Turns the line breaks of the text appended from `from` into "\n".
    void afterDecoding(QString& out, qsizetype from) {
        if (from == out.size())
            return;
        if (pendingCr) {
            pendingCr = false;
            if (out[from] == u'\n') {
                out.remove(from, 1);
                record(LineBreak::CRLF, 1);
            } else {
                record(LineBreak::CR, 1);
            }
        }
        char16_t* const begin = reinterpret_cast<char16_t*>(out.data());
        char16_t* p = begin + from;
        char16_t* const end = begin + out.size();
        if (!QStringView(p, end).contains(u'\r')) {
            // The usual text: a count of the breaks, one pass.
            qint64 lf = 0;
            for (const char16_t* q = p; q != end; ++q)
                lf += *q == u'\n';
            record(LineBreak::LF, lf);
            return;
        }
        char16_t* w = p;
        for (; p != end; ++p) {
            const char16_t c = *p;
            if (c == u'\r') {
                *w++ = u'\n';
                if (p + 1 == end) {
                    pendingCr = true;
                } else if (p[1] == u'\n') {
                    ++p;
                    record(LineBreak::CRLF, 1);
                } else {
                    record(LineBreak::CR, 1);
                }
                continue;
            }
            if (c == u'\n')
                record(LineBreak::LF, 1);
            *w++ = c;
        }
        out.truncate(w - begin);
    }

    // The encoding, from the first bytes (all of them when fewer than three).
    qsizetype choose(QByteArrayView first) {
        if (first.startsWith("\xEF\xBB\xBF")) {
            mode = Mode::Utf8Bom;
            return 3;
        }
        if (first.startsWith("\xFF\xFE")) {
            mode = Mode::Utf16LE;
            utf16.emplace(QStringConverter::Utf16LE, QStringConverter::Flag::ConvertInitialBom);
            return 2;
        }
        if (first.startsWith("\xFE\xFF")) {
            mode = Mode::Utf16BE;
            utf16.emplace(QStringConverter::Utf16BE, QStringConverter::Flag::ConvertInitialBom);
            return 2;
        }
        mode = notUtf8 ? Mode::ShiftJis : Mode::Utf8;
        return 0;
    }

    // A failure to read the bytes as taken.
    Step failed() const { return mode == Mode::Utf8 ? Step::Again : Step::Whole; }

    Step decodeUtf8(QByteArrayView bytes, QString& out) {
        if (!carry.isEmpty()) {
            // Complete the character begun before, then go on.
            const auto lead = quint8(carry[0]);
            const qsizetype length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            const qsizetype take = qMin(length - carry.size(), bytes.size());
            carry += bytes.first(take);
            bytes = bytes.sliced(take);
            if (carry.size() < length)
                return Step::Going;
            const QByteArray whole = std::exchange(carry, QByteArray());
            if (const Step s = appendUtf8(whole, out); s != Step::Going)
                return s;
        }
        // The bytes up to the last character that is complete.
        qsizetype n = bytes.size();
        for (qsizetype back = 1; back <= 3 && back <= n; ++back) {
            const auto c = quint8(bytes[n - back]);
            if ((c & 0xC0) == 0x80)
                continue; // a continuation byte
            const qsizetype length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            if (length > back)
                n -= back;
            break;
        }
        carry = bytes.sliced(n).toByteArray();
        return appendUtf8(bytes.first(n), out);
    }

    Step appendUtf8(QByteArrayView bytes, QString& out) {
        const qsizetype from = out.size();
        out.resize(from + bytes.size()); // at most one unit a byte
        QChar* const begin = out.data();
        QChar* const end = utf8.appendToBuffer(begin + from, bytes);
        out.truncate(end - begin);
        if (utf8.hasError())
            return failed();
        afterDecoding(out, from);
        return Step::Going;
    }

    Step decodeShiftJis(QByteArrayView bytes, QString& out) {
        QByteArray joined;
        if (!carry.isEmpty()) {
            joined = carry;
            joined += bytes;
            bytes = joined;
        }
        const qsizetype from = out.size();
        out.resize(from + bytes.size());
        auto* const begin = reinterpret_cast<char16_t*>(out.data());
        qsizetype used = 0;
        const char16_t* end =
            ShiftJisTable::instance().decodeLosslessPrefix(bytes, begin + from, &used);
        if (!end) {
            out.truncate(from);
            return Step::Whole;
        }
        out.truncate(end - begin);
        carry = bytes.sliced(used).toByteArray();
        afterDecoding(out, from);
        return Step::Going;
    }

    Step decodeUtf16(QByteArrayView bytes, QString& out) {
        bodyBytes += bytes.size();
        const qsizetype from = out.size();
        out.resize(from + bytes.size() / 2 + 2);
        QChar* const begin = out.data();
        QChar* const end = utf16->appendToBuffer(begin + from, bytes);
        out.truncate(end - begin);
        if (utf16->hasError())
            return Step::Whole;
        afterDecoding(out, from);
        return Step::Going;
    }

    Step decode(QByteArrayView bytes, QString& out) {
        switch (mode) {
        case Mode::Utf8:
        case Mode::Utf8Bom:
            return decodeUtf8(bytes, out);
        case Mode::ShiftJis:
            return decodeShiftJis(bytes, out);
        case Mode::Utf16LE:
        case Mode::Utf16BE:
            return decodeUtf16(bytes, out);
        case Mode::Start:
            break;
        }
        return Step::Whole;
    }

    // Takes the first bytes until a byte-order mark can be told.
    Step start(QByteArrayView bytes, QString& out, bool last) {
        if (head.isEmpty() && bytes.size() >= 3) {
            return decode(bytes.sliced(choose(bytes)), out);
        }
        head += bytes;
        if (head.size() < 3 && !last)
            return Step::Going;
        const QByteArray first = std::exchange(head, QByteArray());
        return decode(QByteArrayView(first).sliced(choose(first)), out);
    }
};

TextDecoder::TextDecoder() : d(std::make_unique<State>()) {}

TextDecoder::~TextDecoder() = default;

TextDecoder::Step TextDecoder::feed(QByteArrayView bytes, QString& out) {
    const Step step =
        d->mode == State::Mode::Start ? d->start(bytes, out, false) : d->decode(bytes, out);
    if (step == Step::Again) {
        d->restart();
        d->notUtf8 = true;
    }
    return step;
}

TextDecoder::Step TextDecoder::finish(QString& out, TextFormat& format) {
    State& s = *d;
    Step step = Step::Going;
    if (s.mode == State::Mode::Start)
        step = s.start({}, out, true);
    if (step == Step::Going && !s.carry.isEmpty())
        step = s.failed(); // a character cut short at the end
    if (step == Step::Going && s.utf16 && s.bodyBytes % 2 != 0)
        step = Step::Whole;
    if (step == Step::Again) {
        s.restart();
        s.notUtf8 = true;
    }
    if (step != Step::Going)
        return step;
    if (s.pendingCr) {
        s.pendingCr = false;
        s.record(LineBreak::CR, 1);
    }
    switch (s.mode) {
    case State::Mode::Utf8Bom:
        format.encoding = TextEncoding::Utf8Bom;
        break;
    case State::Mode::Utf16LE:
        format.encoding = TextEncoding::Utf16LE;
        break;
    case State::Mode::Utf16BE:
        format.encoding = TextEncoding::Utf16BE;
        break;
    case State::Mode::ShiftJis:
        format.encoding = TextEncoding::ShiftJis;
        break;
    case State::Mode::Utf8:
    case State::Mode::Start:
        format.encoding = TextEncoding::Utf8;
        break;
    }
    format.lossless = true;
    format.mixed.reset();
    if (!s.firstKind) {
        format.lineBreak = TextFormat::nativeLineBreak();
    } else if (!s.mixed) {
        format.lineBreak = *s.firstKind;
    } else {
        std::size_t best = 0;
        for (std::size_t k = 1; k < s.counts.size(); ++k)
            if (s.counts[k] > s.counts[best])
                best = k;
        format.lineBreak = LineBreak(best);
        auto mixed = std::make_shared<MixedBreaks>();
        mixed->breaks = std::move(s.breaks);
        format.mixed = std::move(mixed);
    }
    return Step::Going;
}

} // namespace ostrel
