#include "TextMirror.h"

#include <QScopeGuard>
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

void TextMirror::adopt(std::vector<QString> pieces, qsizetype length) {
    m_pieces = std::move(pieces);
    m_length = length + 1;
    m_stale = false;
}

void TextMirror::rebuild() {
    const QString text = m_doc->toRawText();
    adopt(cut(text), text.size());
}

void TextMirror::reset(const QString& text, const std::function<void()>& give) {
    // The text is only read on both threads (its copy below shares it). The
    // old copy is not kept in step with the document's change meanwhile.
    m_stale = true;
    m_pieces.clear();
    std::vector<QString> pieces;
    std::thread cutter([&pieces, text] { pieces = cut(text); });
    {
        auto join = qScopeGuard([&] { cutter.join(); });
        give();
    }
    adopt(std::move(pieces), text.size());
}

bool TextMirror::agreesWithDocument() const {
    if (m_length != m_doc->characterCount())
        return false; // an empty load reports no separator
    // A few characters spread over the text, the first and the last included
    // (a text shifted by an edit differs in most of them): a check that costs
    // nothing beside a save or a search, should an edit ever pass unreported.
    constexpr qsizetype kSamples = 32;
    for (qsizetype k = 0; k <= kSamples + 1; ++k) {
        const qsizetype position =
            k <= kSamples ? (m_length - 1) * k / kSamples : std::max<qsizetype>(0, m_length - 2);
        const auto [i, off] = locate(position);
        if (i >= m_pieces.size() || m_pieces[i][off] != m_doc->characterAt(int(position)))
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
    const QString document = m_doc->toRawText();
    // The document's raw text has no last separator; the copy has it (but
    // for an emptied document, where the copy is empty too).
    if (copy.size() == document.size() + 1)
        copy.chop(1);
    if (copy != document)
        qFatal("TextMirror: the copy of the text differs from the document (%lld against %lld "
               "characters)",
               static_cast<long long>(copy.size()), static_cast<long long>(document.size()));
}

std::vector<QStringView> TextMirror::text() {
    ensureInStep();
    std::vector<QStringView> parts;
    parts.reserve(m_pieces.size());
    qsizetype left = m_length - 1; // without the last separator
    for (const QString& piece : m_pieces) {
        if (left <= 0)
            break;
        parts.push_back(QStringView(piece).first(std::min(left, piece.size())));
        left -= piece.size();
    }
    return parts;
}

std::pair<size_t, qsizetype> TextMirror::locate(qsizetype position) const {
    size_t i = 0;
    while (i < m_pieces.size() && position >= m_pieces[i].size()) {
        position -= m_pieces[i].size();
        ++i;
    }
    return {i, position};
}

void TextMirror::contentsChange(int from, int removed, int added) {
    if (m_stale)
        return;
    if (added > 4 * kPiece || removed > 4 * kPiece) {
        // A load or a large paste: copy afresh when it is next searched.
        m_stale = true;
        m_pieces.clear();
        m_length = 0;
        return;
    }
    // Counts include the document's last separator. A load reports the old
    // text removed and then the new one added.
    const auto checked = qScopeGuard([this] {
        if (checkedExactly())
            checkAgainstDocument();
    });
    remove(from, removed);
    const int count = m_doc->characterCount();
    const int end = std::min(from + added, count - 1);
    QString text;
    if (end > from) {
        QTextCursor c(m_doc);
        c.setPosition(from);
        c.setPosition(end, QTextCursor::KeepAnchor);
        text = c.selectedText();
    }
    if (from + added >= count && added > 0)
        text += QChar::ParagraphSeparator;
    insert(from, text);
}

void TextMirror::remove(qsizetype from, qsizetype count) {
    count = std::min(count, m_length - from);
    if (from < 0 || count <= 0)
        return;
    auto [i, off] = locate(from);
    qsizetype left = count;
    while (left > 0 && i < m_pieces.size()) {
        const qsizetype take = std::min(left, m_pieces[i].size() - off);
        m_pieces[i].remove(off, take);
        left -= take;
        if (m_pieces[i].isEmpty()) {
            m_pieces.erase(m_pieces.begin() + qsizetype(i));
        } else {
            ++i;
            off = 0;
        }
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
        m_pieces.erase(m_pieces.begin() + qsizetype(i));
        m_pieces.insert(m_pieces.begin() + qsizetype(i), std::make_move_iterator(parts.begin()),
                        std::make_move_iterator(parts.end()));
    }
}

qsizetype TextMirror::indexOf(const QString& what, qsizetype from) {
    ensureInStep();
    if (what.isEmpty() || from < 0 || from >= m_length)
        return -1;
    auto [i, off] = locate(from);
    qsizetype base = from - off;
    for (; i < m_pieces.size(); ++i) {
        const QString& piece = m_pieces[i];
        const qsizetype found = piece.indexOf(what, off, Qt::CaseSensitive);
        if (found >= 0)
            return base + found;
        // A match that starts near the end of this piece and runs on.
        const qsizetype tailStart = std::max(off, piece.size() - (what.size() - 1));
        if (tailStart < piece.size()) {
            QString joined = piece.mid(tailStart);
            const qsizetype tail = joined.size();
            for (size_t j = i + 1; j < m_pieces.size() && joined.size() < tail + what.size() - 1;
                 ++j)
                joined += m_pieces[j].left(tail + what.size() - 1 - joined.size());
            const qsizetype across = joined.indexOf(what, 0, Qt::CaseSensitive);
            if (across >= 0 && across < tail)
                return base + tailStart + across;
        }
        base += piece.size();
        off = 0;
    }
    return -1;
}

} // namespace ostrel
