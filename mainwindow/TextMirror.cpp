#include "TextMirror.h"

#include "SoftBreaks.h"
#include "text/TextSearch.h"

#include <QScopeGuard>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <thread>

namespace ostrel {

namespace {

constexpr qsizetype kPiece = 64 * 1024;

} // namespace

TextMirror::TextMirror(QTextDocument* document) : QObject(document), m_doc(document) {
    connect(document, &QTextDocument::contentsChange, this, &TextMirror::contentsChange);
}

TextMirror* TextMirror::of(QTextDocument* document) {
    auto* mirror = document->findChild<TextMirror*>(QString(), Qt::FindDirectChildrenOnly);
    return mirror ? mirror : new TextMirror(document);
}

std::vector<QString> TextMirror::cut(const QString& whole) {
    std::vector<QString> pieces;
    pieces.reserve(size_t(whole.size() / kPiece + 2));
    for (qsizetype done = 0; done < whole.size(); done += kPiece) {
        QString piece = whole.mid(done, kPiece);
        // Every character that the document takes as the end of a block is
        // its block separator there.
        for (QChar& c : piece) {
            const char16_t u = c.unicode();
            if (u == u'\n' || u == u'\r' || (u & 0xFFFE) == 0xFDD0)
                c = QChar::ParagraphSeparator;
        }
        pieces.push_back(std::move(piece));
    }
    pieces.emplace_back(QChar::ParagraphSeparator);
    return pieces;
}

void TextMirror::adopt(std::vector<QString> pieces, qsizetype length,
                       std::vector<qsizetype> softBreaks) {
    m_pieces = std::move(pieces);
    m_hintPiece = 0;
    m_hintBase = 0;
    m_length = length + 1;
    m_soft = std::move(softBreaks);
    m_stale = false;
}

QString TextMirror::textOfDocument(std::vector<qsizetype>& softBreaks) const {
    QString raw = m_doc->toRawText();
    softBreaks.clear();
    if (!mayHaveSoftBreaks(m_doc))
        return raw;
    // The separator before a block that continues a line is no text.
    QString text;
    text.reserve(raw.size());
    qsizetype done = 0;
    for (QTextBlock b = m_doc->begin().next(); b.isValid(); b = b.next()) {
        if (!continuesLine(b))
            continue;
        const qsizetype separator = b.position() - 1;
        text += QStringView(raw).sliced(done, separator - done);
        softBreaks.push_back(text.size());
        done = separator + 1;
    }
    text += QStringView(raw).sliced(done);
    return text;
}

void TextMirror::rebuild() {
    std::vector<qsizetype> soft;
    const QString text = textOfDocument(soft);
    adopt(cut(text), text.size(), std::move(soft));
}

void TextMirror::reset(const QString& text, std::vector<qsizetype> softBreaks,
                       const std::function<void()>& give) {
    // The text is only read on both threads (its copy below shares it). The
    // old copy is not kept in step with the document's change meanwhile.
    m_stale = true;
    m_pieces.clear();
    m_hintPiece = 0;
    m_hintBase = 0;
    m_soft.clear();
    std::vector<QString> pieces;
    std::thread cutter([&pieces, text] { pieces = cut(text); });
    {
        auto join = qScopeGuard([&] { cutter.join(); });
        give();
    }
    adopt(std::move(pieces), text.size(), std::move(softBreaks));
}

size_t TextMirror::softBreaksBefore(qsizetype documentPosition) const {
    // The k-th soft break stands at document position m_soft[k] + k.
    size_t low = 0, high = m_soft.size();
    while (low < high) {
        const size_t mid = (low + high) / 2;
        if (m_soft[mid] + qsizetype(mid) < documentPosition)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

qsizetype TextMirror::documentPosition(qsizetype textPosition, bool afterSoftBreaks) const {
    const auto at = afterSoftBreaks ? std::upper_bound(m_soft.begin(), m_soft.end(), textPosition)
                                    : std::lower_bound(m_soft.begin(), m_soft.end(), textPosition);
    return textPosition + (at - m_soft.begin());
}

bool TextMirror::agreesWithDocument() const {
    if (m_length + qsizetype(m_soft.size()) != m_doc->characterCount())
        return false; // an empty load reports no separator
    // A few characters spread over the text, the first and the last included
    // (a text shifted by an edit differs in most of them): a check that costs
    // nothing beside a save or a search, should an edit ever pass unreported.
    // The pieces are walked once (looking each sample up from the first piece
    // would visit thousands of them in a large text for every sample).
    constexpr qsizetype kSamples = 32;
    std::vector<qsizetype> samples;
    for (qsizetype k = 0; k < kSamples; ++k)
        samples.push_back((m_length - 1) * k / kSamples);
    samples.push_back(std::max<qsizetype>(0, m_length - 2)); // the last character
    samples.push_back(m_length - 1);                         // and separator
    size_t i = 0;
    qsizetype base = 0; // of piece i
    for (qsizetype position : samples) {
        while (i < m_pieces.size() && position >= base + m_pieces[i].size())
            base += m_pieces[i++].size();
        if (i >= m_pieces.size() || m_pieces[i][position - base] !=
                                        m_doc->characterAt(int(documentPosition(position, true))))
            return false;
    }
    return true;
}

void TextMirror::ensureInStep() {
    if (checkedExactly())
        checkAgainstDocument();
    if (m_stale || !agreesWithDocument())
        rebuild();
}

namespace {
// The test runs turn it on: a copy that has drifted from the document is a
// fault to find, not one to mend quietly by copying afresh.
bool exactCheck = qEnvironmentVariableIntValue("OSTREL_CHECK_MIRROR") != 0;
} // namespace

bool TextMirror::checkedExactly() {
    return exactCheck;
}

void TextMirror::setCheckedExactly(bool on) {
    exactCheck = on;
}

void TextMirror::checkAgainstDocument() const {
    if (m_stale)
        return;
    QString copy;
    copy.reserve(m_length);
    for (const QString& piece : m_pieces)
        copy += piece;
    copy.truncate(m_length);
    // The text of the document, soft breaks left out, and where they stand.
    std::vector<qsizetype> soft;
    const QString document = textOfDocument(soft);
    // The document's raw text has no last separator; the copy has it (but
    // for an emptied document, where the copy is empty too).
    if (copy.size() == document.size() + 1)
        copy.chop(1);
    if (copy != document)
        qFatal("TextMirror: the copy of the text differs from the document (%lld against %lld "
               "characters)",
               static_cast<long long>(copy.size()), static_cast<long long>(document.size()));
    if (soft != m_soft)
        qFatal("TextMirror: the copy's soft breaks differ from the document's (%zu against %zu)",
               m_soft.size(), soft.size());
}

std::vector<QStringView> TextMirror::text() {
    ensureInStep();
    return withoutLastSeparator(m_pieces);
}

std::vector<QStringView> TextMirror::withoutLastSeparator(const std::vector<QString>& pieces) {
    std::vector<QStringView> parts(pieces.begin(), pieces.end());
    while (!parts.empty() && parts.back().isEmpty())
        parts.pop_back();
    if (!parts.empty())
        parts.back().chop(1);
    if (!parts.empty() && parts.back().isEmpty())
        parts.pop_back();
    return parts;
}

qsizetype TextMirror::length() {
    ensureInStep();
    return m_length - 1;
}

qsizetype TextMirror::toText(qsizetype documentPosition) {
    ensureInStep();
    return documentPosition - qsizetype(softBreaksBefore(documentPosition));
}

qsizetype TextMirror::toDocument(qsizetype textPosition, bool afterSoftBreaks) {
    ensureInStep();
    return documentPosition(textPosition, afterSoftBreaks);
}

TextMirror::Snapshot TextMirror::snapshot() {
    ensureInStep();
    return {m_pieces, m_soft};
}

std::pair<size_t, qsizetype> TextMirror::locate(qsizetype position) const {
    // From the piece found last when the position is not before it: edits
    // come one after another at nearly the same place, and a large text has
    // thousands of pieces.
    size_t i = 0;
    qsizetype base = 0;
    if (m_hintPiece < m_pieces.size() && position >= m_hintBase) {
        i = m_hintPiece;
        base = m_hintBase;
    }
    while (i < m_pieces.size() && position >= base + m_pieces[i].size())
        base += m_pieces[i++].size();
    m_hintPiece = i;
    m_hintBase = base;
    return {i, position - base};
}

void TextMirror::contentsChange(int from, int removed, int added) {
    if (m_stale)
        return;
    // Whether the separator just before the change is a soft break depends
    // on the block after it, which the change may have marked or unmarked:
    // that separator is taken as changed too.
    if (from > 0 && from <= m_doc->characterCount() - 1 &&
        m_doc->characterAt(from - 1) == QChar::ParagraphSeparator) {
        --from;
        ++removed;
        ++added;
    }
    // Counts include the document's last separator. A load reports the old
    // text removed and then the new one added.
    const auto checked = qScopeGuard([this] {
        if (checkedExactly())
            checkAgainstDocument();
    });
    const size_t before = softBreaksBefore(from);
    const size_t removedEnd = softBreaksBefore(qsizetype(from) + removed);
    const qsizetype textFrom = from - qsizetype(before);
    const qsizetype textRemoved = removed - qsizetype(removedEnd - before);
    remove(textFrom, textRemoved);
    m_soft.erase(m_soft.begin() + qsizetype(before), m_soft.begin() + qsizetype(removedEnd));

    const int count = m_doc->characterCount();
    const int end = std::min(from + added, count - 1);
    QString text;
    std::vector<qsizetype> soft; // in `text`
    if (end > from) {
        QTextCursor c(m_doc);
        c.setPosition(from);
        c.setPosition(end, QTextCursor::KeepAnchor);
        text = c.selectedText();
        if (mayHaveSoftBreaks(m_doc) && text.contains(QChar::ParagraphSeparator)) {
            QString kept;
            kept.reserve(text.size());
            QTextBlock block = m_doc->findBlock(from);
            for (QChar ch : std::as_const(text)) {
                if (ch == QChar::ParagraphSeparator) {
                    block = block.next();
                    if (continuesLine(block)) {
                        soft.push_back(kept.size());
                        continue;
                    }
                }
                kept += ch;
            }
            text = std::move(kept);
        }
    }
    if (from + added >= count && added > 0)
        text += QChar::ParagraphSeparator;
    for (size_t k = before; k < m_soft.size(); ++k)
        m_soft[k] += text.size() - textRemoved;
    for (qsizetype& s : soft)
        s += textFrom;
    m_soft.insert(m_soft.begin() + qsizetype(before), soft.begin(), soft.end());
    insert(textFrom, text);
}

void TextMirror::remove(qsizetype from, qsizetype count) {
    count = std::min(count, m_length - from);
    if (from < 0 || count <= 0)
        return;
    auto [i, off] = locate(from);
    // Whole pieces that go are one run, erased at once.
    size_t eraseFrom = m_pieces.size(), eraseTo = m_pieces.size();
    qsizetype left = count;
    for (; left > 0 && i < m_pieces.size(); ++i, off = 0) {
        const qsizetype take = std::min(left, m_pieces[i].size() - off);
        if (take == m_pieces[i].size()) {
            if (eraseFrom == m_pieces.size())
                eraseFrom = i;
            eraseTo = i + 1;
        } else {
            m_pieces[i].remove(off, take);
        }
        left -= take;
    }
    m_pieces.erase(m_pieces.begin() + qsizetype(eraseFrom), m_pieces.begin() + qsizetype(eraseTo));
    if (eraseTo > eraseFrom) { // pieces went: look from the first next time
        m_hintPiece = 0;
        m_hintBase = 0;
    }
    m_length -= count - left;
}

void TextMirror::insert(qsizetype at, const QString& text) {
    if (text.isEmpty())
        return;
    at = std::clamp<qsizetype>(at, 0, m_length);
    auto [i, off] = locate(at);
    if (i == m_pieces.size()) {
        if (m_pieces.empty()) {
            m_pieces.emplace_back();
            i = 0;
        } else {
            i = m_pieces.size() - 1;
        }
        off = m_pieces[i].size();
    }
    m_pieces[i].insert(off, text);
    m_length += text.size();
    if (m_pieces[i].size() > 2 * kPiece) {
        const QString whole = std::move(m_pieces[i]);
        std::vector<QString> parts;
        for (qsizetype done = 0; done < whole.size(); done += kPiece)
            parts.push_back(whole.mid(done, kPiece));
        m_hintPiece = 0; // pieces change: look from the first next time
        m_hintBase = 0;
        m_pieces.erase(m_pieces.begin() + qsizetype(i));
        m_pieces.insert(m_pieces.begin() + qsizetype(i), std::make_move_iterator(parts.begin()),
                        std::make_move_iterator(parts.end()));
    }
}

qsizetype TextMirror::indexOf(const QString& what, qsizetype from) {
    if (from < 0)
        return -1;
    return findInText(text(), what, from);
}

} // namespace ostrel
