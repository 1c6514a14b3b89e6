#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace ostrel {

// How a text file stores its characters.
enum class TextEncoding {
    Utf8,     // UTF-8 without a byte-order mark (also plain ASCII)
    Utf8Bom,  // UTF-8 with a byte-order mark
    Utf16LE,  // UTF-16, little endian, with a byte-order mark
    Utf16BE,  // UTF-16, big endian, with a byte-order mark
    ShiftJis, // Shift-JIS as the Windows code page 932 has it
};

enum class LineBreak : quint8 { LF, CRLF, CR };

// Per-line breaks of a file whose lines do not all end alike; kept so that a
// save rewrites only the lines that were edited.
struct MixedBreaks {
    std::vector<LineBreak> breaks;   // the break after line i (the last line has none)
    std::vector<quint64> lineHashes; // a hash of every line's text, to find unedited lines
};

// Everything needed to write a text back the way its file had it.
struct TextFormat {
    TextEncoding encoding = TextEncoding::Utf8;
    LineBreak lineBreak = nativeLineBreak();  // every line's break, or the most common one
    std::shared_ptr<const MixedBreaks> mixed; // set only when the breaks differ
    // False when no supported encoding reads the file without loss: a save then
    // changes bytes the user never touched.
    bool lossless = true;

    static LineBreak nativeLineBreak();
};

struct DecodedText {
    QString text; // lines separated by "\n" alone
    TextFormat format;
};

// Reads bytes in the encoding they have: a byte-order mark decides first, then
// valid UTF-8, then Shift-JIS. Line breaks (CR LF, LF or CR) become "\n".
DecodedText decodeText(const QByteArray& bytes);

// Reads bytes as they arrive, piece by piece, into the text and format that
// decodeText makes of all of them at once, without holding them all: for a
// file larger than is good to hold twice.
class TextDecoder {
public:
    TextDecoder();
    ~TextDecoder();
    TextDecoder(const TextDecoder&) = delete;
    TextDecoder& operator=(const TextDecoder&) = delete;

    enum class Step {
        Going, // go on
        // The bytes were taken for an encoding they are not in: the text
        // handed out so far is void. Give the bytes again from the first;
        // they are then read in another encoding.
        Again,
        // No encoding reads the bytes without loss: only decodeText over all
        // of them tells what is shown (and how to write it back).
        Whole,
    };
    // Appends the text of the next bytes to `out` (lines separated by "\n").
    // A line break or character may wait for the bytes that follow.
    Step feed(QByteArrayView bytes, QString& out);
    // The bytes are all given: appends what waited, and sets the format. A
    // format with mixed line breaks holds their kinds and no line hashes
    // yet: fill them in with lineHash over the text's lines.
    Step finish(QString& out, TextFormat& format);

private:
    struct State;
    std::unique_ptr<State> d;
};

// The hash a MixedBreaks keeps of one line's text.
quint64 lineHash(QStringView line);

// Writes a text (lines separated by "\n") as the format says. Answers nothing
// when a character cannot be held by the format's encoding, or when the bytes
// would not be read back as the text (Shift-JIS bytes that are also valid
// UTF-8, which decodeText takes for UTF-8).
std::optional<QByteArray> encodeText(const QString& text, const TextFormat& format);

// As encodeText, handing the bytes to `write` piece by piece (a few hundred
// kilobytes each) instead of building them whole. Answers false, having
// stopped, when a character cannot be held by the encoding or the bytes would
// not be read back as the text (*unencodable is then set; some pieces, or all
// of them, may have been handed over already) or when `write` answers false.
bool encodeTextInPieces(QStringView text, const TextFormat& format,
                        const std::function<bool(QByteArrayView)>& write, bool* unencodable);

// As encodeTextInPieces, for a text given as consecutive parts (a surrogate
// pair may be split between two of them).
bool encodeTextInPieces(const std::vector<QStringView>& parts, const TextFormat& format,
                        const std::function<bool(QByteArrayView)>& write, bool* unencodable);

// Whether every character of the text can be held by the encoding.
bool canEncode(const QString& text, TextEncoding encoding);

// Code page 932 (Shift-JIS) only where it reads back to the same bytes: the
// text of bytes, or the bytes of a text; nothing when that is not so.
std::optional<QString> decodeCodePage932Exactly(QByteArrayView bytes);
std::optional<QByteArray> encodeCodePage932Exactly(QStringView text);
// Code page 932 as decodeText reads a file that reads back byte for byte,
// for a reader that does more as it decodes (the search through records): a
// byte that begins a pair, the character of a byte or a pair (lead * 256 +
// trail; 0: none), and the code a character is written back as (0x100 + the
// byte, or lead * 256 + trail; 0: none). A file reads back when each of its
// characters is written back as the code it was read from.
struct CodePage932Codes {
    const char16_t* chars;
    const quint16* codes;
    const quint8* leads;
};
CodePage932Codes codePage932Codes();

// A short name of the encoding for messages ("UTF-8", "Shift-JIS", ...).
QString encodingName(TextEncoding encoding);

} // namespace ostrel
