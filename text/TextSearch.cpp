#include "TextSearch.h"

#include "TextCodec.h"

#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <cstring>

namespace ostrel {

namespace {

// A text is read into the buffer and searched a piece of at least this many
// units at a time (a whole record, for most).
constexpr qsizetype kPieceUnits = 32 * 1024;
// Bytes of a file decoded at a time.
constexpr qsizetype kPieceBytes = 32 * 1024;
// A result shows at most this many units of a line, and at least this many
// before its match when it has to cut the line.
constexpr qsizetype kExcerptUnits = 200;
constexpr qsizetype kLeftUnits = 40;
// Units of a piece kept for the next piece besides the string's own length:
// the line before a match that the next piece may find.
constexpr qsizetype kCarryUnits = 64;

constexpr char16_t kHalfwidthKanaFirst = 0xFF65; // ･
constexpr char16_t kHalfwidthKanaLast = 0xFF9F;  // ﾟ
constexpr char16_t kVoicedMark = 0xFF9E;         // ﾞ
constexpr char16_t kSemiVoicedMark = 0xFF9F;     // ﾟ

// Half-width katakana as full-width ones: alone, with a voiced mark and with
// a semi-voiced mark (0 where the pair is no one character). Taken from the
// Unicode compatibility and composition data, so that every pair the
// character set knows (ｳﾞ, ﾜﾞ ...) is there.
class KanaTable {
public:
    static const KanaTable& instance() {
        static const KanaTable table;
        return table;
    }
    char16_t alone(char16_t c) const { return m_alone[c - kHalfwidthKanaFirst]; }
    char16_t withMark(char16_t c, char16_t mark) const {
        return (mark == kVoicedMark ? m_voiced : m_semiVoiced)[c - kHalfwidthKanaFirst];
    }

private:
    KanaTable() {
        for (char16_t c = kHalfwidthKanaFirst; c <= kHalfwidthKanaLast; ++c) {
            const size_t i = c - kHalfwidthKanaFirst;
            const QString full = QString(QChar(c)).normalized(QString::NormalizationForm_KC);
            m_alone[i] = full.size() == 1 ? full[0].unicode() : c;
            for (const auto& [mark, table] :
                 {std::pair{u'\u3099', &m_voiced}, std::pair{u'\u309A', &m_semiVoiced}}) {
                const QString joined =
                    (full + QChar(mark)).normalized(QString::NormalizationForm_C);
                (*table)[i] = full.size() == 1 && joined.size() == 1 ? joined[0].unicode() : 0;
            }
        }
        // The marks alone are the full-width spacing marks (which the
        // compatibility data would make combining ones).
        m_alone[kVoicedMark - kHalfwidthKanaFirst] = u'\u309B';
        m_alone[kSemiVoicedMark - kHalfwidthKanaFirst] = u'\u309C';
        m_voiced[kVoicedMark - kHalfwidthKanaFirst] = 0;
        m_voiced[kSemiVoicedMark - kHalfwidthKanaFirst] = 0;
        m_semiVoiced[kVoicedMark - kHalfwidthKanaFirst] = 0;
        m_semiVoiced[kSemiVoicedMark - kHalfwidthKanaFirst] = 0;
    }

    static constexpr size_t kCount = kHalfwidthKanaLast - kHalfwidthKanaFirst + 1;
    std::array<char16_t, kCount> m_alone{}, m_voiced{}, m_semiVoiced{};
};

inline bool isBreak(char16_t c) {
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator;
}

// Folds the units of `in` from `i` on, while i < end, writing the folded
// units to `folded` and, for each, where its first unit went in the text;
// the text itself is written back in place with every line break as one
// "\n" or U+2029 (so a text position is an index into it). Units up to
// `limit` may be looked at (a voiced mark, the "\n" after a "\r") and taken
// with the unit before them. Answers the end of what was read; *written and
// *foldedEnd tell how much was written.
struct FoldResult {
    qsizetype read, written, folded;
};

FoldResult foldRun(char16_t* in, qsizetype end, qsizetype limit, char16_t* folded, quint32* map,
                   MatchOptions options) {
    // ASCII as compared: letters in one case unless the case counts.
    static const auto lowerAscii = [] {
        std::array<char16_t, 128> t{};
        for (char16_t c = 0; c < 128; ++c)
            t[c] = c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
        t[u'\r'] = u'\n';
        return t;
    }();
    static const auto sameAscii = [] {
        std::array<char16_t, 128> t{};
        for (char16_t c = 0; c < 128; ++c)
            t[c] = c;
        t[u'\r'] = u'\n';
        return t;
    }();
    const char16_t* ascii = options.matchCase ? sameAscii.data() : lowerAscii.data();
    const KanaTable& kana = KanaTable::instance();

    qsizetype i = 0, w = 0, j = 0;
    while (i < end) {
        const char16_t c = in[i++];
        map[j] = quint32(w);
        if (c < 0x80) {
            if (c == u'\r') {
                in[w++] = u'\n';
                if (i < limit && in[i] == u'\n')
                    ++i;
            } else {
                in[w++] = c;
            }
            folded[j++] = ascii[c];
            continue;
        }
        in[w++] = c;
        if (c < 0xFF10) {
            // The editor ends a line at U+2029, U+FDD0 and U+FDD1 too.
            folded[j++] = c == QChar::ParagraphSeparator || (c & 0xFFFE) == 0xFDD0 ? u'\n' : c;
            continue;
        }
        char16_t f = c;
        if (!options.matchWidth) {
            if (c <= 0xFF19) {
                f = char16_t(c - 0xFF10 + u'0');
            } else if (c >= 0xFF21 && c <= 0xFF3A) {
                f = char16_t(c - 0xFF21 + (options.matchCase ? u'A' : u'a'));
            } else if (c >= 0xFF41 && c <= 0xFF5A) {
                f = char16_t(c - 0xFF41 + u'a');
            } else if (c >= kHalfwidthKanaFirst && c <= kHalfwidthKanaLast) {
                f = kana.alone(c);
                if (i < limit && (in[i] == kVoicedMark || in[i] == kSemiVoicedMark)) {
                    if (const char16_t joined = kana.withMark(c, in[i])) {
                        f = joined;
                        in[w++] = in[i++];
                    }
                }
            }
        } else if (!options.matchCase && c >= 0xFF21 && c <= 0xFF3A) {
            f = char16_t(c + 0x20);
        }
        folded[j++] = f;
    }
    map[j] = quint32(w);
    return {i, w, j};
}

// How often a folded unit may be expected in a text: the rarest unit of the
// string is the one looked for first.
int rarity(char16_t c) {
    if (c < 0x80) {
        // Letters by how often they occur in English, others in between.
        static const char kCommon[] = " etaoinshrdlcumwfgypbvkjxqz";
        const char* at = std::strchr(kCommon, char(c));
        if (c != 0 && at)
            return int(at - kCommon);
        return c >= u'0' && c <= u'9' ? 12 : 8;
    }
    if (c >= 0x3040 && c <= 0x309F) // hiragana
        return 30;
    if (c >= 0x3000 && c <= 0x303F) // Japanese punctuation
        return 25;
    if (c >= 0x30A0 && c <= 0x30FF) // katakana
        return 40;
    return 50;
}

// Breaks ("\n" after folding) in folded[from, to).
qsizetype countBreaks(const char16_t* folded, qsizetype from, qsizetype to) {
    qsizetype n = 0;
    for (qsizetype i = from; i < to; ++i)
        n += folded[i] == u'\n';
    return n;
}

} // namespace

QString foldForMatching(QStringView text, MatchOptions options) {
    QString in = text.toString();
    if (in.isEmpty())
        return in;
    QString out(in.size(), Qt::Uninitialized);
    std::vector<quint32> map(size_t(in.size()) + 1);
    auto* units = reinterpret_cast<char16_t*>(in.data());
    const FoldResult r = foldRun(units, in.size(), in.size(),
                                 reinterpret_cast<char16_t*>(out.data()), map.data(), options);
    out.truncate(r.folded);
    return out;
}

bool matchesAt(QStringView text, QStringView what, MatchOptions options) {
    return !what.isEmpty() && foldForMatching(text, options) == foldForMatching(what, options);
}

std::vector<QStringView> SharedText::parts() const {
    std::vector<QStringView> parts;
    qsizetype left = length;
    for (const QString& piece : pieces) {
        if (left <= 0)
            break;
        parts.emplace_back(QStringView(piece).first(std::min(left, piece.size())));
        left -= parts.back().size();
    }
    return parts;
}

// --- the search ---------------------------------------------------------------------

struct LineSearch::Buffers {
    std::unique_ptr<char16_t[]> text; // the text being read, from m_textBase on
    std::unique_ptr<char16_t[]> folded;
    std::unique_ptr<quint32[]> map; // folded unit -> its place in `text`
    qsizetype capacity = 0;
    std::vector<LineMatch> pending; // a file's lines until its encoding is known

    void reserve(qsizetype units) {
        if (units <= capacity)
            return;
        const qsizetype grown = std::max(units, capacity + capacity / 2);
        auto text2 = std::make_unique<char16_t[]>(size_t(grown));
        if (capacity > 0)
            std::memcpy(text2.get(), text.get(), size_t(capacity) * sizeof(char16_t));
        text = std::move(text2);
        folded = std::make_unique<char16_t[]>(size_t(grown));
        map = std::make_unique<quint32[]>(size_t(grown) + 1);
        capacity = grown;
    }
};

LineSearch::LineSearch(QStringView what, MatchOptions options)
    : m_buf(std::make_unique<Buffers>()), m_what(foldForMatching(what, options)),
      m_options(options) {
    for (qsizetype i = 1; i < m_what.size(); ++i)
        if (rarity(m_what[i].unicode()) > rarity(m_what[m_anchor].unicode()))
            m_anchor = i;
}

LineSearch::~LineSearch() = default;

bool LineSearch::searchable() const {
    return !m_what.isEmpty() && !m_what.contains(u'\n');
}

bool LineSearch::cancelled() const {
    return m_cancelled && m_cancelled->load(std::memory_order_relaxed);
}

void LineSearch::begin(const LineReceiver* receiver) {
    m_receiver = receiver;
    m_held = 0;
    m_searchFrom = 0;
    m_textBase = 0;
    m_lineBase = 0;
    m_startsLine = true;
    m_open = false;
}

char16_t* LineSearch::room(qsizetype units) {
    m_buf->reserve(m_held + units + 1);
    return m_buf->text.get() + m_held;
}

void LineSearch::add(qsizetype units) {
    m_held += units;
    // At most two units of a piece fold into one: what is folded is long
    // enough for the excerpts and what the next piece needs.
    if (m_held >= kPieceUnits + 2 * (m_what.size() + kExcerptUnits + kCarryUnits))
        scan(false);
}

void LineSearch::finish() {
    scan(true);
    flush();
    m_receiver = nullptr;
}

void LineSearch::scan(bool final) {
    Buffers& b = *m_buf;
    b.reserve(m_held + 1); // an empty text has had no room made for it
    char16_t* const text = b.text.get();
    char16_t* const folded = b.folded.get();
    quint32* const map = b.map.get();
    const qsizetype total = m_held;
    // The last unit waits for the next piece, which may hold the unit that
    // goes with it.
    const qsizetype end = final ? total : total - 1;
    const FoldResult r = foldRun(text, end, total, folded, map, m_options);
    const qsizetype m = r.folded;
    const qsizetype n = m_what.size();

    // Matches starting before `stop` are found in this piece: the rest need
    // the text after it, for the excerpt.
    const qsizetype stop = final ? m - n + 1 : m - n - kExcerptUnits;
    const QStringView haystack(folded, m);
    const char16_t* const what = reinterpret_cast<const char16_t*>(m_what.constData());
    const char16_t anchor = what[m_anchor];
    m_counted = 0;
    m_lines = 0;
    qsizetype from = m_searchFrom + m_anchor;
    while (from < m && searchable()) {
        const qsizetype hit = haystack.indexOf(QChar(anchor), from);
        if (hit < 0)
            break;
        const qsizetype k = hit - m_anchor;
        if (k >= stop)
            break;
        if (k >= m_searchFrom && std::memcmp(folded + k, what, size_t(n) * sizeof(char16_t)) == 0) {
            report(k, n, m);
            from = k + n + m_anchor;
        } else {
            from = hit + 1;
        }
    }
    if (final)
        return;

    // What the next piece needs from this one: the line before the first
    // match it may find, and the string's length before that.
    const qsizetype keepFrom = std::max<qsizetype>(0, stop - kCarryUnits);
    if (m_counted <= keepFrom)
        m_lines += countBreaks(folded, m_counted, keepFrom);
    else
        m_lines -= countBreaks(folded, keepFrom, m_counted);
    m_lineBase += m_lines;
    if (keepFrom > 0)
        m_startsLine = folded[keepFrom - 1] == u'\n';
    m_searchFrom = std::max<qsizetype>(0, stop - keepFrom);
    const qsizetype keptText = r.written - map[keepFrom];
    m_textBase += map[keepFrom];
    std::memmove(text, text + map[keepFrom], size_t(keptText) * sizeof(char16_t));
    std::memmove(text + keptText, text + r.read, size_t(total - r.read) * sizeof(char16_t));
    m_held = keptText + (total - r.read);
}

void LineSearch::report(qsizetype k, qsizetype n, qsizetype m) {
    Buffers& b = *m_buf;
    const char16_t* const text = b.text.get();
    const char16_t* const folded = b.folded.get();
    const quint32* const map = b.map.get();

    m_lines += countBreaks(folded, m_counted, k);
    m_counted = k;
    const qint64 line = m_lineBase + m_lines;
    const qint64 position = m_textBase + map[k];
    const qint64 length = qint64(map[k + n]) - map[k];

    if (m_open && m_line.line == line) {
        // Another match in the line: marked where the excerpt shows it.
        const qint64 at = position - m_excerptPosition;
        if (at + length <= m_line.excerpt.size())
            m_line.marks.emplace_back(qint32(at), qint32(length));
        return;
    }
    flush();

    // The line around the match, as much of it as a result shows: from its
    // start when that is near enough, else from a little before the match.
    qsizetype start = k;
    const qsizetype reach = std::max<qsizetype>(kLeftUnits, kExcerptUnits - n - kLeftUnits);
    while (start > 0 && k - start < reach && folded[start - 1] != u'\n')
        --start;
    bool cutBefore = false;
    if (start > 0 && folded[start - 1] != u'\n') {
        start = std::max<qsizetype>(0, k - kLeftUnits);
        cutBefore = true;
    } else if (start == 0 && !m_startsLine) {
        cutBefore = true;
    }
    qsizetype end = k + n;
    while (end < m && end - start < kExcerptUnits && folded[end] != u'\n')
        ++end;
    const bool cutAfter = end - start >= kExcerptUnits && end < m && folded[end] != u'\n';
    qsizetype textStart = map[start], textEnd = map[end];
    // Never half of a surrogate pair at the edges.
    if (cutBefore && textStart > 0 && QChar::isLowSurrogate(text[textStart]))
        --textStart;
    if (cutAfter && QChar::isHighSurrogate(text[textEnd - 1]))
        ++textEnd;

    m_line.line = line;
    m_line.position = position;
    m_line.length = length;
    m_line.excerpt = QString(reinterpret_cast<const QChar*>(text + textStart), textEnd - textStart);
    m_line.cutBefore = cutBefore;
    m_line.cutAfter = cutAfter;
    m_line.marks.clear();
    m_line.marks.emplace_back(qint32(map[k] - textStart), qint32(length));
    m_excerptPosition = m_textBase + textStart;
    m_open = true;
}

void LineSearch::flush() {
    if (!m_open)
        return;
    m_open = false;
    (*m_receiver)(std::move(m_line));
    m_line = LineMatch();
}

void LineSearch::searchText(QStringView text, const LineReceiver& receiver) {
    searchText(std::vector<QStringView>{text}, receiver);
}

void LineSearch::searchText(const std::vector<QStringView>& pieces, const LineReceiver& receiver) {
    begin(&receiver);
    for (QStringView piece : pieces) {
        while (!piece.isEmpty()) {
            if (cancelled()) {
                m_open = false;
                m_receiver = nullptr;
                return;
            }
            const qsizetype n = std::min(piece.size(), kPieceUnits);
            std::memcpy(room(n), piece.utf16(), size_t(n) * sizeof(char16_t));
            add(n);
            piece = piece.sliced(n);
        }
    }
    finish();
}

void LineSearch::searchDecoded(QStringView text) {
    for (QStringView piece = text; !piece.isEmpty();) {
        const qsizetype n = std::min(piece.size(), kPieceUnits);
        std::memcpy(room(n), piece.utf16(), size_t(n) * sizeof(char16_t));
        add(n);
        piece = piece.sliced(n);
    }
}

bool LineSearch::searchUtf8(QByteArrayView body) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                       QStringConverter::Flag::ConvertInitialBom);
    while (!body.isEmpty()) {
        if (cancelled())
            return false;
        // A piece ends before a character's first byte.
        qsizetype n = std::min(kPieceBytes, body.size());
        while (n < body.size() && n > kPieceBytes - 4 && (quint8(body[n]) & 0xC0) == 0x80)
            --n;
        auto* out = reinterpret_cast<QChar*>(room(n));
        const QChar* end = decoder.appendToBuffer(out, body.first(n));
        if (decoder.hasError())
            return false;
        add(end - out);
        body = body.sliced(n);
    }
    return true;
}

bool LineSearch::searchShiftJis(QByteArrayView body) {
    while (!body.isEmpty()) {
        if (cancelled())
            return false;
        // A piece ends after a byte below 0x40, which is a character of its
        // own (no byte of a pair is one); a file without one is one piece.
        qsizetype n = std::min(kPieceBytes, body.size());
        if (n < body.size()) {
            qsizetype cut = n;
            while (cut > 0 && quint8(body[cut - 1]) >= 0x40)
                --cut;
            if (cut == 0) {
                cut = n;
                while (cut < body.size() && quint8(body[cut - 1]) >= 0x40)
                    ++cut;
            }
            n = cut;
        }
        char16_t* out = room(n);
        const char16_t* end = decodeCodePage932ExactlyInto(body.first(n), out);
        if (!end)
            return false;
        add(end - out);
        body = body.sliced(n);
    }
    return true;
}

bool LineSearch::searchFile(QByteArrayView bytes, const LineReceiver& receiver) {
    // A file's lines are kept until its encoding is known: bytes that turn out
    // not to be UTF-8 are read again as Shift-JIS.
    std::vector<LineMatch>& pending = m_buf->pending;
    const LineReceiver keep = [&pending](LineMatch&& line) { pending.push_back(std::move(line)); };
    const auto attempt = [&](auto&& decode) {
        pending.clear();
        begin(&keep);
        if (!decode())
            return false;
        finish();
        return true;
    };
    bool read = false;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        read = attempt([&] { return searchUtf8(bytes.sliced(3)); });
    } else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        read = attempt([&] {
            QStringDecoder decoder(bytes[0] == '\xFF' ? QStringConverter::Utf16LE
                                                      : QStringConverter::Utf16BE,
                                   QStringConverter::Flag::ConvertInitialBom);
            for (QByteArrayView body = bytes.sliced(2); !body.isEmpty();) {
                if (cancelled())
                    return false;
                const qsizetype n = std::min(kPieceBytes, body.size());
                auto* out = reinterpret_cast<QChar*>(room(n / 2 + 2));
                add(decoder.appendToBuffer(out, body.first(n)) - out);
                body = body.sliced(n);
            }
            return true;
        });
    } else {
        read = attempt([&] { return searchUtf8(bytes); }) ||
               attempt([&] { return searchShiftJis(bytes); });
    }
    if (!read && !cancelled()) {
        // Neither reads byte for byte: the text is what the loader makes of it.
        read = attempt([&] {
            const DecodedText decoded =
                decodeText(QByteArray::fromRawData(bytes.data(), bytes.size()));
            searchDecoded(decoded.text);
            return !cancelled();
        });
    }
    if (!read || cancelled())
        return false;
    for (LineMatch& line : pending)
        receiver(std::move(line));
    pending.clear();
    return true;
}

} // namespace ostrel
