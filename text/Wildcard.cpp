#include "Wildcard.h"

namespace ostrel {

Wildcard::Wildcard(QStringView pattern) : m_folded(pattern.toString().toCaseFolded()) {
    if (m_folded == u"*.*")
        m_folded = QStringLiteral("*");
    m_suffixOnly = m_folded.startsWith(u'*') && !QStringView(m_folded).sliced(1).contains(u'*') &&
                   !m_folded.contains(u'?');
}

bool Wildcard::matches(QStringView name) const {
    if (m_suffixOnly)
        return name.endsWith(QStringView(m_folded).sliced(1), Qt::CaseInsensitive);
    return matchesFolded(name.toString().toCaseFolded());
}

bool Wildcard::matchesFolded(QStringView name) const {
    if (m_suffixOnly)
        return name.endsWith(QStringView(m_folded).sliced(1));
    const QStringView p(m_folded);
    qsizetype pi = 0, ni = 0;
    qsizetype starP = -1, starN = 0;
    while (ni < name.size()) {
        if (pi < p.size() && (p[pi] == u'?' || (p[pi] != u'*' && p[pi] == name[ni]))) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == u'*') {
            starP = pi++;
            starN = ni;
        } else if (starP >= 0) {
            pi = starP + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == u'*')
        ++pi;
    return pi == p.size();
}

} // namespace ostrel
