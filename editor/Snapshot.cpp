#include "Snapshot.h"

#include "internal/SnapshotData.h"

namespace ostrel::editor {

using internal::SnapshotData;
using internal::TextReader;

namespace internal {

Snapshot SnapshotData::of(const TextBuffer& buffer, bool complete) {
    return Snapshot(share(buffer, complete));
}

std::shared_ptr<const SnapshotData> SnapshotData::share(const TextBuffer& buffer, bool complete) {
    auto data = std::make_shared<SnapshotData>();
    data->blocks = buffer.shareBlocks();
    data->starts.reserve(data->blocks.size() + 1);
    data->breakStarts.reserve(data->blocks.size() + 1);
    qsizetype start = 0, breaks = 0;
    for (const auto& block : data->blocks) {
        data->starts.push_back(start);
        data->breakStarts.push_back(breaks);
        start += block->text.size();
        breaks += qsizetype(block->breaks.size());
    }
    data->starts.push_back(start);
    data->breakStarts.push_back(breaks);
    data->revision = buffer.revision();
    data->complete = complete;
    return data;
}

size_t SnapshotData::blockOfPosition(qsizetype position) const {
    if (blocks.empty())
        return 0;
    if (position >= length())
        return blocks.size() - 1;
    // The last block starting at or before the position.
    return size_t(std::upper_bound(starts.begin(), starts.end() - 1, position) - starts.begin() -
                  1);
}

size_t SnapshotData::blockOfBreak(qsizetype k) const {
    // The last block with at most k breaks before it.
    return size_t(std::upper_bound(breakStarts.begin(), breakStarts.end() - 1, k) -
                  breakStarts.begin() - 1);
}

} // namespace internal

namespace {
const std::shared_ptr<const SnapshotData>& emptyText() {
    static const std::shared_ptr<const SnapshotData> empty = [] {
        auto data = std::make_shared<SnapshotData>();
        data->starts = {0};
        data->breakStarts = {0};
        return data;
    }();
    return empty;
}
} // namespace

Snapshot::Snapshot() : d(emptyText()) {}
Snapshot::Snapshot(std::shared_ptr<const internal::SnapshotData> data) : d(std::move(data)) {}
Snapshot::~Snapshot() = default;
Snapshot::Snapshot(const Snapshot&) = default;
Snapshot& Snapshot::operator=(const Snapshot&) = default;
Snapshot::Snapshot(Snapshot&& other) noexcept : d(std::move(other.d)) {
    other.d = emptyText();
}
Snapshot& Snapshot::operator=(Snapshot&& other) noexcept {
    d = std::move(other.d);
    other.d = emptyText();
    return *this;
}

quint64 Snapshot::revision() const {
    return d->revision;
}
qsizetype Snapshot::length() const {
    return d->length();
}
bool Snapshot::isComplete() const {
    return d->complete;
}

std::vector<QStringView> Snapshot::parts() const {
    std::vector<QStringView> parts;
    parts.reserve(d->blocks.size());
    for (const auto& block : d->blocks)
        parts.emplace_back(block->text);
    return parts;
}

std::vector<QString> Snapshot::sharedParts() const {
    std::vector<QString> parts;
    parts.reserve(d->blocks.size());
    for (const auto& block : d->blocks)
        parts.push_back(block->text);
    return parts;
}

QString Snapshot::mid(qsizetype position, qsizetype length) const {
    return TextReader<SnapshotData>(*d).mid(position, length);
}
QString Snapshot::toString() const {
    return mid(0, length());
}
QChar Snapshot::at(qsizetype position) const {
    return TextReader<SnapshotData>(*d).at(position);
}
qsizetype Snapshot::lineCount() const {
    return TextReader<SnapshotData>(*d).lineCount();
}
qsizetype Snapshot::lineOf(qsizetype position) const {
    return TextReader<SnapshotData>(*d).lineOf(position);
}
qsizetype Snapshot::lineStart(qsizetype line) const {
    return TextReader<SnapshotData>(*d).lineStart(line);
}
qsizetype Snapshot::lineEnd(qsizetype line) const {
    return TextReader<SnapshotData>(*d).lineEnd(line);
}
qsizetype Snapshot::indexOf(QStringView what, qsizetype from) const {
    return TextReader<SnapshotData>(*d).indexOf(what, from);
}

} // namespace ostrel::editor
