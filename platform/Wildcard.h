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
    bool matches(QStringView name) const { return matchesFolded(name.toString().toCaseFolded()); }

private:
    QString m_folded;
};

} // namespace ostrel
