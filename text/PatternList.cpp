#include "PatternList.h"

namespace ostrel {

QString defaultPatternList() {
    return QStringLiteral("*.txt/*.ini/*.log/*.bat/*.c/*.cpp/*.cgi/*.htm/*.reg");
}

QStringList splitPatternList(const QString& list) {
    QStringList patterns;
    QString collected;
    for (QChar c : list) {
        if (c == u'/') {
            patterns.append(collected);
            collected.clear();
        } else {
            collected.append(c);
        }
    }
    return patterns; // an unterminated last pattern is dropped
}

} // namespace ostrel
