#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// What the fuzz targets share. Each target defines LLVMFuzzerTestOneInput;
// built with libFuzzer it is fuzzed, built with ReplayMain.cpp it replays its
// corpus and its regression inputs as a plain test.
namespace fuzz {

// Stops the run with a message when a property does not hold: libFuzzer keeps
// the input as a crash, the replay fails its test.
#define FUZZ_CHECK(condition, ...)                                                                 \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property failed: %s\n  ", #condition);                           \
            std::fprintf(stderr, __VA_ARGS__);                                                     \
            std::fprintf(stderr, "\n");                                                            \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// Takes the parts of a test case from the front of its bytes; when they run
// out, every answer is the smallest one.
class Input {
public:
    Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_size == 0; }
    size_t remaining() const { return m_size; }

    uint8_t byte() {
        if (m_size == 0)
            return 0;
        --m_size;
        return *m_data++;
    }

    // A number from 0 to max, from as many bytes as it needs.
    uint32_t upTo(uint32_t max) {
        uint32_t value = 0;
        for (uint64_t range = max; range > 0; range >>= 8)
            value = value << 8 | byte();
        return max == UINT32_MAX ? value : value % (max + 1);
    }

    // The next `n` bytes (fewer when the input ends).
    QByteArray bytes(size_t n) {
        n = n < m_size ? n : m_size;
        QByteArray out(reinterpret_cast<const char*>(m_data), qsizetype(n));
        m_data += n;
        m_size -= n;
        return out;
    }

    // Bytes preceded by their length (at most `max`).
    QByteArray sizedBytes(uint32_t max) { return bytes(upTo(max)); }

    // Text made of sized bytes, read as UTF-8 (bad bytes become U+FFFD) or,
    // chosen by the first byte, as UTF-16 units of any value, lone
    // surrogates included.
    QString text(uint32_t maxBytes) {
        const bool units = byte() & 1;
        const QByteArray b = sizedBytes(maxBytes);
        if (!units)
            return QString::fromUtf8(b);
        QString s;
        for (qsizetype i = 0; i + 1 < b.size(); i += 2)
            s.append(QChar(char16_t(uint8_t(b[i]) | uint8_t(b[i + 1]) << 8)));
        return s;
    }

    QByteArray rest() { return bytes(m_size); }

private:
    const uint8_t* m_data;
    size_t m_size;
};

// Text quoted for a failure message: every unit outside printable ASCII as \uXXXX.
inline QByteArray quoted(const QString& s) {
    QByteArray out = "\"";
    for (QChar c : s) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F && c != u'\\' && c != u'"')
            out += char(c.unicode());
        else
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toLatin1();
    }
    return out + '"';
}

inline QByteArray quoted(const QByteArray& b) {
    QByteArray out = "\"";
    for (char c : b) {
        const auto u = uint8_t(c);
        if (u >= 0x20 && u < 0x7F && c != '\\' && c != '"')
            out += c;
        else
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0')).toLatin1();
    }
    return out + '"';
}

} // namespace fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
