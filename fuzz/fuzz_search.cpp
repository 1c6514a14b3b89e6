// The search through records on any file and any string: the lines it finds
// in a file's bytes (decoded and folded as it goes, piece by piece) and in
// the same text handed over in pieces are those a plain reference finds in
// the text as the loader reads it (decodeText), folding each line on its own.
#include "FuzzSupport.h"
#include "text/LineSearch.h"
#include "text/TextCodec.h"

#include <QStringEncoder>
#include <vector>

using namespace ostrel;

namespace {

struct Found {
    qint64 line, position, length;
    bool operator==(const Found&) const = default;
};

// A line folded on its own, with where each folded unit began in it.
QString referenceFold(QStringView line, MatchOptions options, std::vector<qsizetype>* map) {
    QString out;
    for (qsizetype i = 0; i < line.size(); ++i) {
        char16_t c = line[i].unicode();
        if (map)
            map->push_back(i);
        if (!options.matchWidth) {
            if ((c >= 0xFF10 && c <= 0xFF19) || (c >= 0xFF21 && c <= 0xFF3A) ||
                (c >= 0xFF41 && c <= 0xFF5A)) {
                c = char16_t(c - 0xFEE0);
            } else if (c == 0xFF9E || c == 0xFF9F) {
                c = c == 0xFF9E ? u'\u309B' : u'\u309C';
            } else if (c >= 0xFF65 && c <= 0xFF9D) {
                const QString full = QString(QChar(c)).normalized(QString::NormalizationForm_KC);
                if (i + 1 < line.size() && (line[i + 1] == u'\uFF9E' || line[i + 1] == u'\uFF9F')) {
                    const QChar mark = line[i + 1] == u'\uFF9E' ? u'\u3099' : u'\u309A';
                    const QString joined = (full + mark).normalized(QString::NormalizationForm_C);
                    if (joined.size() == 1) {
                        out += joined;
                        ++i;
                        continue;
                    }
                }
                c = full[0].unicode();
            }
        }
        if (!options.matchCase && c >= u'A' && c <= u'Z')
            c = char16_t(c + 32);
        if (!options.matchCase && options.matchWidth && c >= 0xFF21 && c <= 0xFF3A)
            c = char16_t(c + 0x20);
        out += QChar(c);
    }
    if (map)
        map->push_back(line.size());
    return out;
}

bool isBreak(QChar c) {
    return c == u'\n' || c == u'\r';
}

// The first match of each line of a text (lines end at "\n" and "\r";
// "\r\n" is one break, as the loader reads it).
std::vector<Found> reference(QStringView text, const QString& what, MatchOptions options) {
    std::vector<Found> found;
    const QString folded = referenceFold(what, options, nullptr);
    if (folded.isEmpty() || folded.contains(u'\n'))
        return found;
    qint64 line = 0, position = 0;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = start;
        while (end < text.size() && !isBreak(text[end]))
            ++end;
        std::vector<qsizetype> map;
        const QString f = referenceFold(text.sliced(start, end - start), options, &map);
        if (const qsizetype at = f.indexOf(folded); at >= 0)
            found.push_back({line, position + map[size_t(at)],
                             map[size_t(at + folded.size())] - map[size_t(at)]});
        if (end == text.size())
            break;
        const qsizetype next = text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n'
                                   ? end + 2
                                   : end + 1;
        position += end - start + 1;
        ++line;
        start = next;
    }
    return found;
}

std::vector<Found> results(const std::vector<LineMatch>& lines) {
    std::vector<Found> out;
    for (const LineMatch& l : lines)
        out.push_back({l.line, l.position, l.length});
    return out;
}

QString describe(const std::vector<Found>& found) {
    QString s;
    for (const Found& f : found)
        s += QStringLiteral("(%1 %2 %3)").arg(f.line).arg(f.position).arg(f.length);
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t mode = in.byte();
    const MatchOptions options{bool(mode & 1), bool(mode & 2)};
    const QString what = QString::fromUtf8(in.sizedBytes(24));
    const uint8_t split = in.byte();
    QByteArray bytes = in.rest();
    // The file's form: as given, or its text as UTF-8 written in another
    // encoding the loader reads.
    const QString asText = QString::fromUtf8(bytes);
    switch ((mode >> 2) & 3) {
    case 1:
        if (std::optional<QByteArray> sjis = encodeCodePage932Exactly(asText))
            bytes = *sjis;
        break;
    case 2:
        bytes = QByteArray("\xFF\xFE") +
                QByteArray(QStringEncoder(QStringConverter::Utf16LE).encode(asText));
        break;
    case 3:
        bytes = QByteArray("\xEF\xBB\xBF") + asText.toUtf8();
        break;
    }
    // Repeated, so that the pieces of a long text and lines across them
    // are searched too.
    if (mode & 16)
        bytes = bytes.repeated(bytes.isEmpty() ? 0 : qsizetype(70000 / bytes.size() + 1));

    const QString text = decodeText(bytes).text;
    const std::vector<Found> expected = reference(text, what, options);

    LineSearch search(what, options);
    std::vector<LineMatch> lines;
    const LineReceiver keep = [&lines](LineMatch&& l) { lines.push_back(std::move(l)); };
    FUZZ_CHECK(search.searchFile(bytes, keep), "not searched");
    FUZZ_CHECK(results(lines) == expected, "file: %s\n  expected %s",
               qPrintable(describe(results(lines))), qPrintable(describe(expected)));
    for (const LineMatch& l : lines) {
        FUZZ_CHECK(!l.marks.empty() && l.marks.front().second == l.length, "first mark");
        for (const auto& [at, length] : l.marks)
            FUZZ_CHECK(at >= 0 && at + length <= l.excerpt.size(), "mark outside the excerpt");
        const qsizetype first = l.marks.front().first;
        FUZZ_CHECK(matchesAt(QStringView(l.excerpt).sliced(first, l.length), what, options),
                   "the excerpt does not show the match");
    }

    // The same text in pieces, as the editor hands it over.
    std::vector<QStringView> pieces;
    const qsizetype pieceSize = 1 + split % 64 + (split & 0x80 ? 40000 : 0);
    for (qsizetype at = 0; at < text.size(); at += pieceSize)
        pieces.push_back(QStringView(text).sliced(at, std::min(pieceSize, text.size() - at)));
    lines.clear();
    search.searchText(pieces, keep);
    FUZZ_CHECK(results(lines) == expected, "pieces: %s\n  expected %s",
               qPrintable(describe(results(lines))), qPrintable(describe(expected)));
    return 0;
}
