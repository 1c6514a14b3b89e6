#pragma once

#include <QFont>
#include <QHash>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

class QFontMetricsF;

namespace ostrel::editor::internal {

// The advance of every character in a font (in 1/64 pixel, as the text
// layout adds them), measured the first time a character is met and kept.
// Shared by every thread: whoever meets a character first measures it.
class CharWidths {
public:
    explicit CharWidths(const QFont& font, qreal tabStop);
    ~CharWidths();
    CharWidths(const CharWidths&) = delete;
    CharWidths& operator=(const CharWidths&) = delete;

    const QFont& font() const { return m_font; }
    // A character of the basic plane (a surrogate alone has no advance).
    qint32 advance(char16_t c) const {
        const qint32 known = m_basic[c].load(std::memory_order_relaxed);
        return known >= 0 ? known : measure(c);
    }
    // A character beyond the basic plane.
    qint32 advance(char32_t c) const;
    // The distance between tab stops.
    qint32 tabStop() const { return m_tabStop; }

private:
    struct Measurer;
    qint32 measure(char16_t c) const;
    qint32 measureText(const QString& text) const;
    // The font's metrics as the calling thread measures with them.
    const QFontMetricsF& metrics() const;

    QFont m_font;
    qint32 m_tabStop;
    std::unique_ptr<std::atomic<qint32>[]> m_basic;
    mutable std::mutex m_mutex;
    mutable QHash<char32_t, qint32> m_beyond;
    // A font of its own for every thread that measures: a font caches its
    // glyphs for one thread, and a copy shares the cache until it changes.
    mutable std::map<std::thread::id, std::unique_ptr<Measurer>> m_measurers;
};

} // namespace ostrel::editor::internal
