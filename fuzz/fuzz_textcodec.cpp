// Records read and written back, on any bytes: a read that is not flagged
// lossy writes back byte for byte (whole, and piece by piece from an editor's
// text cut anywhere), what is written reads back as the same text, and an
// edit of one line changes no other line's break.
#include "FuzzSupport.h"
#include "text/TextCodec.h"

#include <QStringList>

#include <algorithm>
#include <vector>

using namespace ostrel;

namespace {

// The break after each line of a decoded text.
std::vector<LineBreak> breaksOf(const DecodedText& d) {
    if (d.format.mixed)
        return d.format.mixed->breaks;
    return std::vector<LineBreak>(size_t(d.text.count(u'\n')), d.format.lineBreak);
}

// A text cut into parts at positions chosen by `seed` (as the editor's blocks
// hand it to a save), a surrogate pair's halves sometimes apart.
std::vector<QStringView> partsOf(const QString& raw, uint8_t seed) {
    std::vector<qsizetype> cuts{0, raw.size()};
    for (uint32_t k = 1; k <= uint32_t(seed % 4); ++k)
        cuts.push_back(qsizetype((uint64_t(seed) * 2654435761u * k) % uint64_t(raw.size() + 1)));
    std::sort(cuts.begin(), cuts.end());
    std::vector<QStringView> parts;
    for (size_t i = 0; i + 1 < cuts.size(); ++i)
        parts.push_back(QStringView(raw).sliced(cuts[i], cuts[i + 1] - cuts[i]));
    return parts;
}

// The bytes read piece by piece, as a load reads a large file: read again from
// the first byte when the decoder asks, or whole (decodeText) when it says so.
DecodedText decodeInPieces(const QByteArray& bytes, qsizetype piece) {
    TextDecoder decoder;
    for (;;) {
        DecodedText d;
        TextDecoder::Step step = TextDecoder::Step::Going;
        for (qsizetype at = 0; at < bytes.size() && step == TextDecoder::Step::Going; at += piece)
            step = decoder.feed(QByteArrayView(bytes).sliced(at, qMin(piece, bytes.size() - at)),
                                d.text);
        if (step == TextDecoder::Step::Going)
            step = decoder.finish(d.text, d.format);
        if (step == TextDecoder::Step::Whole)
            return decodeText(bytes);
        if (step == TextDecoder::Step::Going)
            return d;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t seed = in.byte();
    const uint8_t editLine = in.byte();
    QByteArray bytes = in.rest();
    // Now and then the bytes over and over, past the size of the pieces a
    // save writes in.
    if (seed == 0xA5 && !bytes.isEmpty())
        bytes = bytes.repeated(qsizetype(300000 / bytes.size() + 1));

    const DecodedText d = decodeText(bytes);
    // Read piece by piece, the same text and format.
    const DecodedText inPieces = decodeInPieces(bytes, 1 + seed % 7);
    FUZZ_CHECK(inPieces.text == d.text && inPieces.format.encoding == d.format.encoding &&
                   inPieces.format.lineBreak == d.format.lineBreak &&
                   inPieces.format.lossless == d.format.lossless &&
                   bool(inPieces.format.mixed) == bool(d.format.mixed) &&
                   (!d.format.mixed || inPieces.format.mixed->breaks == d.format.mixed->breaks),
               "%s read piece by piece as %s (%s), whole as %s (%s)",
               fuzz::quoted(bytes).constData(), fuzz::quoted(inPieces.text).constData(),
               qPrintable(encodingName(inPieces.format.encoding)), fuzz::quoted(d.text).constData(),
               qPrintable(encodingName(d.format.encoding)));
    const std::optional<QByteArray> written = encodeText(d.text, d.format);
    if (d.format.lossless)
        FUZZ_CHECK(written && *written == bytes,
                   "a read not flagged lossy (%s) writes %s back as %s",
                   qPrintable(encodingName(d.format.encoding)), fuzz::quoted(bytes).constData(),
                   written ? fuzz::quoted(*written).constData() : "nothing");
    if (written) {
        const DecodedText again = decodeText(*written);
        FUZZ_CHECK(again.text == d.text, "%s read as %s, written as %s, read back as %s",
                   fuzz::quoted(bytes).constData(), fuzz::quoted(d.text).constData(),
                   fuzz::quoted(*written).constData(), fuzz::quoted(again.text).constData());
    }
    if (!d.format.lossless)
        return 0;

    // A save writes the editor's text piece by piece.
    QByteArray pieces;
    bool unencodable = true;
    const bool ok = encodeTextInPieces(
        partsOf(d.text, seed), d.format,
        [&](QByteArrayView piece) {
            pieces += piece;
            return true;
        },
        &unencodable);
    FUZZ_CHECK(ok && !unencodable && pieces == bytes, "%s written in pieces as %s",
               fuzz::quoted(bytes).constData(), fuzz::quoted(pieces).constData());

    // One line edited: every other line keeps its break.
    QStringList lines = d.text.split(u'\n');
    const qsizetype edited = editLine % lines.size();
    lines[edited] =
        lines[edited] == u"edited" ? QStringLiteral("changed") : QStringLiteral("edited");
    const QString editedText = lines.join(u'\n');
    const std::optional<QByteArray> afterEdit = encodeText(editedText, d.format);
    if (!afterEdit) {
        // Only Shift-JIS refuses an ASCII edit: when the bytes would read as
        // another encoding. The text is then offered UTF-8, which holds it.
        FUZZ_CHECK(d.format.encoding == TextEncoding::ShiftJis,
                   "an ASCII edit of %s cannot be written", fuzz::quoted(bytes).constData());
        TextFormat utf8 = d.format;
        utf8.encoding = TextEncoding::Utf8;
        const std::optional<QByteArray> asUtf8 = encodeText(editedText, utf8);
        FUZZ_CHECK(asUtf8 && decodeText(*asUtf8).text == editedText,
                   "the edit of %s cannot be written as UTF-8 either",
                   fuzz::quoted(bytes).constData());
        return 0;
    }
    const DecodedText reread = decodeText(*afterEdit);
    qsizetype at = 0;
    while (at < reread.text.size() && at < editedText.size() && reread.text[at] == editedText[at])
        ++at;
    FUZZ_CHECK(reread.text == editedText,
               "the edited text (%s, %d units) reads back otherwise from unit %d: %s for %s",
               qPrintable(encodingName(d.format.encoding)), int(editedText.size()), int(at),
               fuzz::quoted(reread.text.mid(at, 16)).constData(),
               fuzz::quoted(editedText.mid(at, 16)).constData());
    const std::vector<LineBreak> before = breaksOf(d), after = breaksOf(reread);
    FUZZ_CHECK(before.size() == after.size(), "%d breaks became %d", int(before.size()),
               int(after.size()));
    for (size_t j = 0; j < before.size(); ++j)
        FUZZ_CHECK(j == size_t(edited) || before[j] == after[j],
                   "editing line %d of %s changed the break after line %d", int(edited),
                   fuzz::quoted(bytes).constData(), int(j));
    return 0;
}
