#include "TextSearch.h"

#include <QString>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace ostrel {

namespace {

// The parts with the text position each begins at.
class Parts {
public:
    explicit Parts(const std::vector<QStringView>& parts) : m_parts(parts) {
        m_starts.reserve(parts.size());
        for (const QStringView part : parts) {
            m_starts.push_back(m_length);
            m_length += part.size();
        }
    }

    qsizetype length() const { return m_length; }
    size_t count() const { return m_parts.size(); }
    QStringView part(size_t i) const { return m_parts[i]; }
    qsizetype start(size_t i) const { return m_starts[i]; }

    // The part that holds a position (below the length); never an empty one.
    size_t partAt(qsizetype position) const {
        return size_t(std::upper_bound(m_starts.begin(), m_starts.end(), position) -
                      m_starts.begin()) -
               1;
    }

    // Up to `count` characters from a position, gathered across the parts.
    QString mid(qsizetype position, qsizetype count) const {
        position = std::clamp<qsizetype>(position, 0, m_length);
        count = std::min(count, m_length - position);
        QString out;
        out.reserve(count);
        for (size_t i = count > 0 ? partAt(position) : m_parts.size();
             i < m_parts.size() && out.size() < count; ++i) {
            const qsizetype off = std::max<qsizetype>(position - m_starts[i], 0);
            out += m_parts[i].mid(off, count - out.size());
        }
        return out;
    }

private:
    const std::vector<QStringView>& m_parts;
    std::vector<qsizetype> m_starts;
    qsizetype m_length = 0;
};

// Whether a position of the text is a word boundary. The word rules look a
// few characters either way: the characters around it are enough.
bool atWordBoundary(const Parts& text, qsizetype position) {
    if (position <= 0 || position >= text.length())
        return true;
    constexpr qsizetype kContext = 32;
    const qsizetype begin = std::max<qsizetype>(position - kContext, 0);
    const QString around = text.mid(begin, position + kContext - begin);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, around);
    finder.setPosition(int(position - begin));
    return finder.isAtBoundary();
}

class Search {
public:
    Search(const Parts& text, QStringView what, const SearchOptions& options)
        : m_text(text), m_what(what), m_options(options),
          m_case(options.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive) {}

    qsizetype forward(qsizetype from) const {
        const qsizetype n = m_what.size();
        from = std::max<qsizetype>(from, 0);
        if (n == 0 || from > m_text.length() - n)
            return -1;
        qsizetype off = from - m_text.start(m_text.partAt(from));
        for (size_t i = m_text.partAt(from); i < m_text.count(); ++i, off = 0) {
            const QStringView part = m_text.part(i);
            const qsizetype base = m_text.start(i);
            for (qsizetype at = off; (at = part.indexOf(m_what, at, m_case)) >= 0; ++at)
                if (accepts(base + at))
                    return base + at;
            // Matches that begin near the end of this part and run on.
            const qsizetype tailStart = std::max(off, part.size() - (n - 1));
            if (tailStart >= part.size())
                continue;
            const qsizetype tail = part.size() - tailStart;
            const QString joined = m_text.mid(base + tailStart, tail + n - 1);
            for (qsizetype at = 0; (at = joined.indexOf(m_what, at, m_case)) >= 0 && at < tail;
                 ++at)
                if (accepts(base + tailStart + at))
                    return base + tailStart + at;
        }
        return -1;
    }

    qsizetype backward(qsizetype from) const {
        const qsizetype n = m_what.size();
        // The last position a match may start at.
        qsizetype limit = std::min(from, m_text.length()) - n;
        if (n == 0 || limit < 0)
            return -1;
        for (size_t i = m_text.partAt(limit);; --i) {
            const QStringView part = m_text.part(i);
            const qsizetype base = m_text.start(i);
            const qsizetype last = limit - base; // within this part
            // Matches that begin near the end of this part and run on come
            // after those inside it.
            const qsizetype tailStart = std::max<qsizetype>(part.size() - (n - 1), 0);
            if (tailStart <= last && tailStart < part.size()) {
                const qsizetype tail = part.size() - tailStart;
                const QString joined = m_text.mid(base + tailStart, tail + n - 1);
                for (qsizetype at = std::min(last - tailStart, tail - 1);
                     at >= 0 && (at = joined.lastIndexOf(m_what, at, m_case)) >= 0; --at)
                    if (accepts(base + tailStart + at))
                        return base + tailStart + at;
            }
            for (qsizetype at = std::min(last, part.size() - n);
                 at >= 0 && (at = part.lastIndexOf(m_what, at, m_case)) >= 0; --at)
                if (accepts(base + at))
                    return base + at;
            if (i == 0)
                return -1;
            limit = base - 1;
        }
    }

private:
    bool accepts(qsizetype start) const {
        return !m_options.wholeWord ||
               (atWordBoundary(m_text, start) && atWordBoundary(m_text, start + m_what.size()));
    }

    const Parts& m_text;
    QStringView m_what;
    SearchOptions m_options;
    Qt::CaseSensitivity m_case;
};

} // namespace

qsizetype findInText(const std::vector<QStringView>& parts, QStringView what, qsizetype from,
                     const SearchOptions& options) {
    const Parts text(parts);
    const Search search(text, what, options);
    return options.backward ? search.backward(from) : search.forward(from);
}

} // namespace ostrel
