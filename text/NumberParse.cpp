#include "NumberParse.h"

namespace ostrel {

namespace {

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

} // namespace

std::optional<qint32> parseInt32(QStringView text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    if (i == n)
        return std::nullopt;

    qsizetype hexStart = -1;
    if (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')
        hexStart = i + 1;
    else if (text[i] == u'0' && i + 1 < n && (text[i + 1] == u'x' || text[i + 1] == u'X'))
        hexStart = i + 2;

    if (hexStart >= 0) {
        if (hexStart == n)
            return std::nullopt;
        quint64 value = 0;
        for (qsizetype k = hexStart; k < n; ++k) {
            const int d = hexDigit(text[k]);
            if (d < 0)
                return std::nullopt;
            value = value * 16 + quint64(d);
            if (value > 0xFFFFFFFFull)
                return std::nullopt;
        }
        return qint32(quint32(value));
    }

    bool negative = false;
    if (text[i] == u'+' || text[i] == u'-') {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == n)
        return std::nullopt;
    qint64 value = 0;
    for (; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < u'0' || u > u'9')
            return std::nullopt;
        value = value * 10 + (u - u'0');
        if (value > 2147483648LL)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > 2147483647LL)
        return std::nullopt;
    return qint32(value);
}

} // namespace ostrel
