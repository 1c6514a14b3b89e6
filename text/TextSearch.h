#pragma once

#include <QStringView>
#include <vector>

namespace ostrel {

// How a search matches: the choices the find dialog offers.
struct SearchOptions {
    bool matchCase = true;
    // Only a match that begins and ends at a word boundary (as the Unicode
    // word rules place them: around a run of letters or digits, and between
    // ideographs) counts.
    bool wholeWord = false;
    bool backward = false;
};

// Searches a text given in consecutive parts (a match may span parts) for
// `what`. Forward: the first match that starts at or after `from`. Backward:
// the last match that ends at or before `from`, so that it never overlaps
// what lies after `from`. Answers the match's start, or -1 when there is
// none. Without regard to case, letters are compared as Unicode folds them
// one for one, so a match is as long as `what`.
qsizetype findInText(const std::vector<QStringView>& parts, QStringView what, qsizetype from,
                     const SearchOptions& options = {});

} // namespace ostrel
