#include "TextCodec.h"

#include <QHash>
#include <QStringDecoder>
#include <QStringEncoder>
#include <array>

namespace ostrel {

namespace {

const char* const kShiftJisName = "windows-31j";

bool isAscii(const QByteArray& bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

bool isAscii(QStringView text) {
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

// Decodes with a named or built-in converter; answers whether it met no error.
template <typename Decoder> bool decodeWith(Decoder&& decoder, QByteArrayView bytes, QString& out) {
    out = decoder.decode(bytes);
    return !decoder.hasError();
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

quint64 lineHash(QStringView line) {
    return qHash(line, size_t(0x9e3779b97f4a7c15ull));
}

// Turns CR LF, CR and LF into "\n" and records how the lines ended.
void normaliseBreaks(QString& text, TextFormat& format, LineBreak fallback) {
    const qsizetype nCr = text.count(u'\r');
    const qsizetype nLf = text.count(u'\n');
    if (nCr == 0) {
        format.lineBreak = nLf > 0 ? LineBreak::LF : fallback;
        return;
    }
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
    for (qsizetype i = 0; i < newCount; ++i) {
        out += lines[i];
        if (i == newCount - 1)
            break;
        LineBreak b = format.lineBreak;
        // The break after line i belongs to line i; the last old line has none,
        // so a line that took its place keeps the common break.
        if (i < prefix && i < oldCount - 1)
            b = old.breaks[size_t(i)];
        else if (i >= newCount - suffix) {
            const qsizetype oldIndex = oldCount - (newCount - i);
            if (oldIndex < oldCount - 1)
                b = old.breaks[size_t(oldIndex)];
        }
        out += breakText(b);
    }
    return out;
}

} // namespace

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
        ok = decodeWith(QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless),
                        body.sliced(3), result.text);
    } else if (bytes.startsWith("\xFF\xFE")) {
        f.encoding = TextEncoding::Utf16LE;
        ok = decodeWith(QStringDecoder(QStringConverter::Utf16LE), body.sliced(2), result.text);
        ok = ok && bytes.size() % 2 == 0;
    } else if (bytes.startsWith("\xFE\xFF")) {
        f.encoding = TextEncoding::Utf16BE;
        ok = decodeWith(QStringDecoder(QStringConverter::Utf16BE), body.sliced(2), result.text);
        ok = ok && bytes.size() % 2 == 0;
    } else if (isAscii(bytes)) {
        result.text = QString::fromLatin1(bytes);
    } else if (decodeWith(QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless),
                          body, result.text)) {
        f.encoding = TextEncoding::Utf8;
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
    if (isAscii(text))
        return true;
    bool ok = false;
    const QByteArray bytes = encodeShiftJis(text, &ok);
    if (!ok)
        return false;
    // Some characters are written as a look-alike; reading back tells.
    bool decOk = false;
    return decodeShiftJis(bytes, &decOk) == text && decOk;
}

std::optional<QByteArray> encodeText(const QString& text, const TextFormat& format) {
    const QString withBreaks = restoreBreaks(text, format);
    switch (format.encoding) {
    case TextEncoding::Utf8:
        return withBreaks.toUtf8();
    case TextEncoding::Utf8Bom:
        return QByteArray("\xEF\xBB\xBF") + withBreaks.toUtf8();
    case TextEncoding::Utf16LE: {
        QStringEncoder e(QStringConverter::Utf16LE);
        return QByteArray("\xFF\xFE") + QByteArray(e.encode(withBreaks));
    }
    case TextEncoding::Utf16BE: {
        QStringEncoder e(QStringConverter::Utf16BE);
        return QByteArray("\xFE\xFF") + QByteArray(e.encode(withBreaks));
    }
    case TextEncoding::ShiftJis: {
        if (isAscii(withBreaks))
            return withBreaks.toLatin1();
        bool ok = false;
        QByteArray bytes = encodeShiftJis(withBreaks, &ok);
        if (!ok)
            return std::nullopt;
        bool decOk = false;
        if (decodeShiftJis(bytes, &decOk) != withBreaks || !decOk)
            return std::nullopt;
        return bytes;
    }
    }
    return std::nullopt;
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

} // namespace ostrel
