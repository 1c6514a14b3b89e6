#pragma once

#include "editor/Snapshot.h"
#include "editor/internal/TextBuffer.h"

namespace ostrel::editor::internal {

// What a snapshot holds: the blocks, shared, and where each begins.
struct SnapshotData {
    std::vector<std::shared_ptr<const BlockData>> blocks;
    std::vector<qsizetype> starts;      // of each block, and the length at the end
    std::vector<qsizetype> breakStarts; // likewise, the line breaks before each block
    quint64 revision = 0;
    bool complete = true;

    static Snapshot of(const TextBuffer& buffer, bool complete);
    static std::shared_ptr<const SnapshotData> share(const TextBuffer& buffer, bool complete);

    // What a TextReader reads the blocks through.
    size_t blockCount() const { return blocks.size(); }
    const BlockData& block(size_t b) const { return *blocks[b]; }
    qsizetype blockStart(size_t b) const { return starts[b]; }
    qsizetype breaksBefore(size_t b) const { return breakStarts[b]; }
    qsizetype length() const { return starts.back(); }
    qsizetype breakCount() const { return breakStarts.back(); }
    size_t blockOfPosition(qsizetype position) const;
    size_t blockOfBreak(qsizetype k) const;
};

} // namespace ostrel::editor::internal
