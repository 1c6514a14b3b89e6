#pragma once

#include <QString>
#include <QStringView>
#include <memory>
#include <vector>

namespace ostrel::editor {

namespace internal {
struct SnapshotData;
}

// A document's text as it was at one moment, to be read on any thread for as
// long as wanted while the document goes on changing (a save, a recovery
// copy, a search, printing). Taking one copies no text: it shares the
// document's blocks, and the document copies a block only when it changes one
// that a snapshot still holds.
//
// Positions are offsets in UTF-16 code units counted from 0. Lines are the
// text's own, each ended by "\n" (the only line break the text holds),
// counted from 0; a text ending with "\n" has an empty last line.
class Snapshot {
public:
    Snapshot(); // an empty text
    ~Snapshot();
    Snapshot(const Snapshot&);
    Snapshot& operator=(const Snapshot&);
    Snapshot(Snapshot&&) noexcept;
    Snapshot& operator=(Snapshot&&) noexcept;

    // Changes with every change of the document's text.
    quint64 revision() const;
    qsizetype length() const;
    bool isEmpty() const { return length() == 0; }
    // Whether the text is all there: false while a load has brought part of
    // it, and after a load that was cancelled or failed.
    bool isComplete() const;

    // The whole text as consecutive parts, valid while the snapshot lives (a
    // surrogate pair may be split between two parts).
    std::vector<QStringView> parts() const;
    // The same parts as strings of their own that share the blocks' text
    // (none of it is copied), for holders that keep strings.
    std::vector<QString> sharedParts() const;
    QString mid(qsizetype position, qsizetype length) const;
    QString toString() const;
    QChar at(qsizetype position) const;

    qsizetype lineCount() const;
    // The line that holds a position (the end of the text is in the last line).
    qsizetype lineOf(qsizetype position) const;
    // The position where a line starts; -1 when there is no such line.
    qsizetype lineStart(qsizetype line) const;
    // The position of the line's end (its "\n", or the end of the text).
    qsizetype lineEnd(qsizetype line) const;

    // The first position at or after `from` where `what` occurs, case
    // matched; -1 when there is none (or `what` is empty).
    qsizetype indexOf(QStringView what, qsizetype from) const;

private:
    friend class Document;
    friend struct internal::SnapshotData;
    explicit Snapshot(std::shared_ptr<const internal::SnapshotData> data);
    std::shared_ptr<const internal::SnapshotData> d;
};

} // namespace ostrel::editor
