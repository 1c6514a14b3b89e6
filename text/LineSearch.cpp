#include "LineSearch.h"

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
// Bytes of a UTF-16 file decoded at a time.
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

inline bool waitsForNext(char16_t c) {
    return c == u'\r' || (c >= kHalfwidthKanaFirst && c <= kHalfwidthKanaLast);
}

// How units fold under one set of options.
struct Folder {
    explicit Folder(MatchOptions o) : options(o), kana(KanaTable::instance()) {
        for (char16_t c = 0; c < 128; ++c)
            ascii[c] = !o.matchCase && c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
        ascii[u'\r'] = u'\n';
    }

    static const Folder& of(MatchOptions o) {
        static const Folder folders[4] = {Folder({false, false}), Folder({false, true}),
                                          Folder({true, false}), Folder({true, true})};
        return folders[int(o.matchCase) * 2 + int(o.matchWidth)];
    }

    // A unit beyond ASCII folded, given the unit after it (0: none); *joined
    // tells that the two fold into one (a half-width katakana and its mark).
    char16_t wide(char16_t c, char16_t next, bool* joined) const {
        *joined = false;
        if (c < 0xFF10)
            return c;
        if (!options.matchWidth) {
            if (c <= 0xFF19)
                return char16_t(c - 0xFF10 + u'0');
            if (c >= 0xFF21 && c <= 0xFF3A)
                return char16_t(c - 0xFF21 + (options.matchCase ? u'A' : u'a'));
            if (c >= 0xFF41 && c <= 0xFF5A)
                return char16_t(c - 0xFF41 + u'a');
            if (c >= kHalfwidthKanaFirst && c <= kHalfwidthKanaLast) {
                if (next == kVoicedMark || next == kSemiVoicedMark) {
                    if (const char16_t both = kana.withMark(c, next)) {
                        *joined = true;
                        return both;
                    }
                }
                return kana.alone(c);
            }
        } else if (!options.matchCase && c >= 0xFF21 && c <= 0xFF3A) {
            return char16_t(c + 0x20);
        }
        return c;
    }

    // Folds units, writing the text as read (every line break one unit) to
    // *t and the folded units to *f; a unit that folds together with the one
    // after it has its folded index put in `joins`. Unless `last`, a last
    // unit that may go with the next is left: answers how many were used.
    qsizetype run(const char16_t* in, qsizetype n, bool last, char16_t*& t, char16_t*& f,
                  const char16_t* foldedBase, std::vector<qsizetype>* joins) const {
        qsizetype i = 0;
        while (i < n) {
            const char16_t c = in[i];
            if (c < 0x80 && c != u'\r') {
                *t++ = c;
                *f++ = ascii[c];
                ++i;
                continue;
            }
            const bool hasNext = i + 1 < n;
            if (!hasNext && !last && waitsForNext(c))
                break;
            const char16_t next = hasNext ? in[i + 1] : 0;
            ++i;
            if (c == u'\r') {
                *t++ = u'\n';
                *f++ = u'\n';
                if (next == u'\n')
                    ++i;
                continue;
            }
            bool joined;
            const char16_t folded = wide(c, next, &joined);
            *t++ = c;
            if (joined) {
                *t++ = next;
                ++i;
                if (joins)
                    joins->push_back(f - foldedBase);
            }
            *f++ = folded;
        }
        return i;
    }

    MatchOptions options;
    const KanaTable& kana;
    std::array<char16_t, 128> ascii{};
};

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
    QString out(text.size(), Qt::Uninitialized);
    QString read(text.size(), Qt::Uninitialized);
    auto* f = reinterpret_cast<char16_t*>(out.data());
    auto* t = reinterpret_cast<char16_t*>(read.data());
    char16_t* const start = f;
    Folder::of(options).run(text.utf16(), text.size(), true, t, f, start, nullptr);
    out.truncate(f - start);
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
    // The part of the text being searched, as read and folded, and where
    // two units of it fold into one.
    std::unique_ptr<char16_t[]> text, folded;
    qsizetype textCapacity = 0, foldedCapacity = 0;
    std::vector<qsizetype> joins;
    std::unique_ptr<char16_t[]> scratch; // a piece decoded, before it is folded
    qsizetype scratchCapacity = 0;
    std::vector<LineMatch> pending; // a file's lines until its encoding is known

    static void grow(std::unique_ptr<char16_t[]>& buffer, qsizetype& capacity, qsizetype used,
                     qsizetype wanted) {
        if (wanted <= capacity)
            return;
        const qsizetype grown = std::max(wanted, capacity + capacity / 2);
        auto bigger = std::make_unique_for_overwrite<char16_t[]>(size_t(grown));
        if (used > 0)
            std::memcpy(bigger.get(), buffer.get(), size_t(used) * sizeof(char16_t));
        buffer = std::move(bigger);
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
    m_textUsed = 0;
    m_foldedUsed = 0;
    m_hasPending = false;
    m_buf->joins.clear();
    m_searchFrom = 0;
    m_textBase = 0;
    m_lineBase = 0;
    m_startsLine = true;
    m_open = false;
}

void LineSearch::add(QStringView piece) {
    while (!piece.isEmpty()) {
        const qsizetype n = std::min(piece.size(), kPieceUnits);
        addUnits(piece.utf16(), n, false);
        piece = piece.sliced(n);
    }
}

void LineSearch::addUnits(const char16_t* in, qsizetype n, bool last) {
    Buffers& b = *m_buf;
    // Every unit read gives at most one unit of each, the one waiting too.
    Buffers::grow(b.text, b.textCapacity, m_textUsed, m_textUsed + n + 2);
    Buffers::grow(b.folded, b.foldedCapacity, m_foldedUsed, m_foldedUsed + n + 2);
    char16_t* t = b.text.get() + m_textUsed;
    char16_t* f = b.folded.get() + m_foldedUsed;
    const Folder& folder = Folder::of(m_options);
    if (m_hasPending) {
        // The unit that waited, with the first of these after it.
        const char16_t both[2] = {m_pending, n > 0 ? in[0] : char16_t(0)};
        const qsizetype used =
            folder.run(both, n > 0 ? 2 : 1, last && n <= 1, t, f, b.folded.get(), &b.joins);
        if (used == 0) // still waiting: nothing came after it
            return;
        m_hasPending = false;
        in += used - 1;
        n -= used - 1;
    }
    if (n > 0) {
        const qsizetype used = folder.run(in, n, last, t, f, b.folded.get(), &b.joins);
        if (used < n) {
            m_pending = in[used];
            m_hasPending = true;
        }
    }
    m_textUsed = t - b.text.get();
    m_foldedUsed = f - b.folded.get();
    pieceMade();
}

void LineSearch::pieceMade() {
    if (m_foldedUsed >= kPieceUnits + m_what.size() + kExcerptUnits + kCarryUnits)
        scan(false);
}

void LineSearch::finish() {
    if (m_hasPending)
        addUnits(nullptr, 0, true);
    scan(true);
    flush();
    m_receiver = nullptr;
}

qsizetype LineSearch::textIndex(qsizetype folded) const {
    const std::vector<qsizetype>& joins = m_buf->joins;
    return folded + (std::lower_bound(joins.begin(), joins.end(), folded) - joins.begin());
}

void LineSearch::scan(bool final) {
    Buffers& b = *m_buf;
    Buffers::grow(b.text, b.textCapacity, m_textUsed, 1); // an empty text has no room yet
    Buffers::grow(b.folded, b.foldedCapacity, m_foldedUsed, 1);
    char16_t* const text = b.text.get();
    char16_t* const folded = b.folded.get();
    const qsizetype m = m_foldedUsed;
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
    const qsizetype textKept = textIndex(keepFrom);
    std::memmove(text, text + textKept, size_t(m_textUsed - textKept) * sizeof(char16_t));
    std::memmove(folded, folded + keepFrom, size_t(m - keepFrom) * sizeof(char16_t));
    std::vector<qsizetype>& joins = b.joins;
    joins.erase(joins.begin(), std::lower_bound(joins.begin(), joins.end(), keepFrom));
    for (qsizetype& j : joins)
        j -= keepFrom;
    m_textBase += textKept;
    m_textUsed -= textKept;
    m_foldedUsed -= keepFrom;
}

void LineSearch::report(qsizetype k, qsizetype n, qsizetype m) {
    const char16_t* const text = m_buf->text.get();
    const char16_t* const folded = m_buf->folded.get();

    m_lines += countBreaks(folded, m_counted, k);
    m_counted = k;
    const qint64 line = m_lineBase + m_lines;
    const qsizetype matchStart = textIndex(k);
    const qint64 position = m_textBase + matchStart;
    const qint64 length = textIndex(k + n) - matchStart;

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
    qsizetype textStart = textIndex(start), textEnd = textIndex(end);
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
    m_line.marks.emplace_back(qint32(matchStart - textStart), qint32(length));
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
            add(piece.first(n));
            piece = piece.sliced(n);
        }
    }
    finish();
}

// UTF-8, read, checked and folded in one go, as much of it a piece: a file
// not valid throughout is not UTF-8 (the loader reads it otherwise).
bool LineSearch::searchUtf8(QByteArrayView body) {
    const auto* p = reinterpret_cast<const quint8*>(body.data());
    const auto* const end = p + body.size();
    Buffers& b = *m_buf;
    const Folder& folder = Folder::of(m_options);
    const char16_t* const ascii = folder.ascii.data();
    while (p < end) {
        if (cancelled())
            return false;
        // A piece ends at a character's end once it has kPieceUnits folded
        // units: at most two units of text each (a character beyond the BMP,
        // a half-width katakana with its mark), two more past the end.
        Buffers::grow(b.text, b.textCapacity, m_textUsed, m_textUsed + 2 * kPieceUnits + 4);
        Buffers::grow(b.folded, b.foldedCapacity, m_foldedUsed, m_foldedUsed + kPieceUnits + 4);
        char16_t* const foldedBase = b.folded.get();
        char16_t* t = b.text.get() + m_textUsed;
        char16_t* f = foldedBase + m_foldedUsed;
        char16_t* const full = f + kPieceUnits;
        while (p < end && f < full) {
            if (*p < 0x80) {
                // Eight bytes of ASCII without a carriage return at a time.
                if (end - p >= 8 && full - f >= 8) {
                    quint64 eight;
                    std::memcpy(&eight, p, 8);
                    const quint64 x = eight ^ 0x0D0D0D0D0D0D0D0Dull; // a CR becomes 0
                    const bool hasCr = ((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull);
                    if ((eight & 0x8080808080808080ull) == 0 && !hasCr) {
                        for (int k = 0; k < 8; ++k) {
                            t[k] = p[k];
                            f[k] = ascii[p[k]];
                        }
                        t += 8;
                        f += 8;
                        p += 8;
                        continue;
                    }
                }
                const quint8 c = *p++;
                if (c == '\r') {
                    *t++ = u'\n';
                    *f++ = u'\n';
                    if (p < end && *p == '\n')
                        ++p;
                } else {
                    *t++ = c;
                    *f++ = ascii[c];
                }
                continue;
            }
            const quint8 b0 = *p;
            if (b0 >= 0xE0 && b0 <= 0xEF) {
                if (end - p < 3)
                    return false;
                const quint8 b1 = p[1], b2 = p[2];
                const quint8 low = b0 == 0xE0 ? 0xA0 : 0x80;
                const quint8 high = b0 == 0xED ? 0x9F : 0xBF;
                if (b1 < low || b1 > high || (b2 & 0xC0) != 0x80)
                    return false;
                const auto c = char16_t((b0 & 0x0F) << 12 | (b1 & 0x3F) << 6 | (b2 & 0x3F));
                p += 3;
                *t++ = c;
                if (c < 0xFF10) {
                    *f++ = c;
                    continue;
                }
                // A half-width mark after it: EF BE 9E or EF BE 9F.
                char16_t next = 0;
                if (end - p >= 3 && p[0] == 0xEF && p[1] == 0xBE && (p[2] == 0x9E || p[2] == 0x9F))
                    next = char16_t(0xFF00 | p[2]);
                bool joined;
                const char16_t folded = folder.wide(c, next, &joined);
                if (joined) {
                    *t++ = next;
                    p += 3;
                    b.joins.push_back(f - foldedBase);
                }
                *f++ = folded;
            } else if (b0 >= 0xC2 && b0 <= 0xDF) {
                if (end - p < 2 || (p[1] & 0xC0) != 0x80)
                    return false;
                const auto c = char16_t((b0 & 0x1F) << 6 | (p[1] & 0x3F));
                p += 2;
                *t++ = c;
                *f++ = c;
            } else if (b0 >= 0xF0 && b0 <= 0xF4) {
                if (end - p < 4)
                    return false;
                const quint8 b1 = p[1];
                const quint8 low = b0 == 0xF0 ? 0x90 : 0x80;
                const quint8 high = b0 == 0xF4 ? 0x8F : 0xBF;
                if (b1 < low || b1 > high || (p[2] & 0xC0) != 0x80 || (p[3] & 0xC0) != 0x80)
                    return false;
                const char32_t c = char32_t(b0 & 0x07) << 18 | char32_t(b1 & 0x3F) << 12 |
                                   char32_t(p[2] & 0x3F) << 6 | char32_t(p[3] & 0x3F);
                p += 4;
                t[0] = f[0] = QChar::highSurrogate(c);
                t[1] = f[1] = QChar::lowSurrogate(c);
                t += 2;
                f += 2;
            } else {
                return false;
            }
        }
        m_textUsed = t - b.text.get();
        m_foldedUsed = f - foldedBase;
        pieceMade();
    }
    return true;
}

// Shift-JIS read, checked and folded in one go, as much of it a piece: a
// file with a character that is not written back as it was read is read
// otherwise (as the loader reads it).
bool LineSearch::searchShiftJis(QByteArrayView body) {
    const CodePage932Codes cp = codePage932Codes();
    const auto* p = reinterpret_cast<const quint8*>(body.data());
    const auto* const end = p + body.size();
    Buffers& b = *m_buf;
    const Folder& folder = Folder::of(m_options);
    const char16_t* const ascii = folder.ascii.data();
    // The character at p, if it reads back; p moves past it.
    const auto read = [&cp, &p, end](char16_t* c) {
        const quint8 b0 = *p;
        quint16 code;
        if (!cp.leads[b0]) {
            code = quint16(0x100 | b0);
            *c = cp.chars[b0];
            ++p;
        } else {
            if (end - p < 2)
                return false;
            code = quint16(b0 << 8 | p[1]);
            *c = cp.chars[code];
            p += 2;
        }
        return *c == 0 ? code == 0x100 : cp.codes[*c] == code;
    };
    while (p < end) {
        if (cancelled())
            return false;
        // As for UTF-8: at most two units of text a folded unit.
        Buffers::grow(b.text, b.textCapacity, m_textUsed, m_textUsed + 2 * kPieceUnits + 4);
        Buffers::grow(b.folded, b.foldedCapacity, m_foldedUsed, m_foldedUsed + kPieceUnits + 4);
        char16_t* const foldedBase = b.folded.get();
        char16_t* t = b.text.get() + m_textUsed;
        char16_t* f = foldedBase + m_foldedUsed;
        char16_t* const full = f + kPieceUnits;
        while (p < end && f < full) {
            char16_t c;
            if (!read(&c))
                return false;
            if (c < 0x80) {
                if (c == u'\r') {
                    *t++ = u'\n';
                    *f++ = u'\n';
                    if (p < end && !cp.leads[*p] && cp.chars[*p] == u'\n')
                        ++p;
                } else {
                    *t++ = c;
                    *f++ = ascii[c];
                }
                continue;
            }
            *t++ = c;
            if (c < 0xFF10) {
                *f++ = c;
                continue;
            }
            // A half-width mark after it is one byte.
            char16_t next = 0;
            if (p < end && !cp.leads[*p]) {
                const char16_t n = cp.chars[*p];
                if (n == kVoicedMark || n == kSemiVoicedMark)
                    next = n;
            }
            bool joined;
            const char16_t folded = folder.wide(c, next, &joined);
            if (joined) {
                char16_t mark;
                if (!read(&mark))
                    return false;
                *t++ = mark;
                b.joins.push_back(f - foldedBase);
            }
            *f++ = folded;
        }
        m_textUsed = t - b.text.get();
        m_foldedUsed = f - foldedBase;
        pieceMade();
    }
    return true;
}

bool LineSearch::searchUtf16(QByteArrayView body, bool bigEndian) {
    Buffers& b = *m_buf;
    QStringDecoder decoder(bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE,
                           QStringConverter::Flag::ConvertInitialBom);
    while (!body.isEmpty()) {
        if (cancelled())
            return false;
        const qsizetype n = std::min(kPieceBytes, body.size());
        Buffers::grow(b.scratch, b.scratchCapacity, 0, n / 2 + 2);
        auto* out = reinterpret_cast<QChar*>(b.scratch.get());
        const QChar* end = decoder.appendToBuffer(out, body.first(n));
        body = body.sliced(n);
        addUnits(b.scratch.get(), end - out, body.isEmpty());
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
        read = attempt([&] { return searchUtf16(bytes.sliced(2), bytes[0] == '\xFE'); });
    } else {
        read = attempt([&] { return searchUtf8(bytes); }) ||
               attempt([&] { return searchShiftJis(bytes); });
    }
    if (!read && !cancelled()) {
        // Neither reads byte for byte: the text is what the loader makes of it.
        read = attempt([&] {
            const DecodedText decoded =
                decodeText(QByteArray::fromRawData(bytes.data(), bytes.size()));
            for (QStringView text = decoded.text; !text.isEmpty();) {
                if (cancelled())
                    return false;
                const qsizetype n = std::min(text.size(), kPieceUnits);
                addUnits(text.utf16(), n, n == text.size());
                text = text.sliced(n);
            }
            return true;
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
