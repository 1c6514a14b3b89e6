#pragma once

#include <QString>
#include <QStringView>

namespace ostrel {

// A file-name pattern as the platform's folder listing takes it: "*" any run
// of characters, "?" exactly one, everything else itself, without regard to
// letter case. "*.*" matches every name, also one without a dot.
class Wildcard {
public:
    explicit Wildcard(QStringView pattern);
    // `foldedName` must be the name after QString::toCaseFolded().
    bool matchesFolded(QStringView foldedName) const;
    bool matches(QStringView name) const;
    // Whether the pattern needs the folded name (matches() folds on its own).
    bool needsFoldedName() const { return !m_suffixOnly; }

private:
    QString m_folded;
    // "*" followed by text without wildcards: a plain suffix test.
    bool m_suffixOnly = false;
};

} // namespace ostrel
