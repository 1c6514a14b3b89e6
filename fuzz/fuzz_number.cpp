// The integer grammar of the settings file: parseInt32 against a reading of
// the grammar written the long way (digits kept as text, no arithmetic until
// the length is known), and every number written out reads back.
#include "FuzzSupport.h"
#include "text/NumberParse.h"

#include <QHash>

#include <algorithm>
#include <optional>

using ostrel::parseInt32;

namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

bool isHexDigit(QChar c) {
    return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

QStringView withoutLeadingZeros(QStringView digits) {
    while (digits.size() > 1 && digits.front() == u'0')
        digits = digits.sliced(1);
    return digits;
}

std::optional<qint32> expected(QStringView s) {
    while (!s.isEmpty() && s.front() == u' ')
        s = s.sliced(1);
    if (s.isEmpty())
        return std::nullopt;
    QStringView hex;
    bool isHex = true;
    if (s.front() == u'$' || s.front() == u'x' || s.front() == u'X')
        hex = s.sliced(1);
    else if (s.startsWith(u"0x") || s.startsWith(u"0X"))
        hex = s.sliced(2);
    else
        isHex = false;
    if (isHex) {
        if (hex.isEmpty() || !std::all_of(hex.begin(), hex.end(), isHexDigit))
            return std::nullopt;
        hex = withoutLeadingZeros(hex);
        if (hex.size() > 8)
            return std::nullopt;
        return qint32(hex.toString().toUInt(nullptr, 16));
    }
    bool negative = false;
    if (s.front() == u'+' || s.front() == u'-') {
        negative = s.front() == u'-';
        s = s.sliced(1);
    }
    if (s.isEmpty() || !std::all_of(s.begin(), s.end(), isDigit))
        return std::nullopt;
    s = withoutLeadingZeros(s);
    if (s.size() > 10)
        return std::nullopt;
    const qint64 magnitude = s.toString().toLongLong();
    const qint64 value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return qint32(value);
}

QString describe(std::optional<qint32> v) {
    return v ? QString::number(*v) : QStringLiteral("nothing");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    // Mostly the bytes as Latin-1, where the grammar's characters are dense.
    const uint8_t mode = in.byte() % 4;
    const QString text = mode == 0 ? in.text(64) : QString::fromLatin1(in.rest());

    const std::optional<qint32> got = parseInt32(text);
    const std::optional<qint32> want = expected(text);
    FUZZ_CHECK(got == want, "%s read as %s, expected %s", fuzz::quoted(text).constData(),
               qPrintable(describe(got)), qPrintable(describe(want)));

    // Whatever value the text held (or its first bytes make), written in
    // each of the forms the grammar knows, reads back.
    const qint32 value = got ? *got : qint32(qHash(text));
    const QString hex = QString::number(quint32(value), 16);
    for (const QString& form :
         {QString::number(value), QStringLiteral("  ") + QString::number(value), u'$' + hex,
          QStringLiteral("0X") + hex.toUpper(), QStringLiteral(" x000") + hex}) {
        FUZZ_CHECK(parseInt32(form) == value, "%s did not read as %d",
                   fuzz::quoted(form).constData(), value);
    }
    return 0;
}
