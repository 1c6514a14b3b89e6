// The displayed-files pattern list on any text and file names: its split, each
// wildcard against a plain table-filling matcher, and the walk over a real
// folder of files with those names, which lists a file once for each pattern
// it matches (its name, or the name cut to a three-letter extension).
#include "FuzzSupport.h"
#include "store/Folders.h"
#include "text/PatternList.h"
#include "text/Wildcard.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace ostrel;

namespace {

// "*" any run of units, "?" exactly one, all else itself; both texts folded.
bool expectedMatch(QString pattern, const QString& name) {
    if (pattern == u"*.*")
        pattern = QStringLiteral("*");
    const qsizetype np = pattern.size(), nn = name.size();
    // row[j]: whether pattern[i:] matches name[j:], from the last i up.
    std::vector<char> row(size_t(nn + 1), 0), next(size_t(nn + 1), 0);
    next[size_t(nn)] = 1;
    for (qsizetype i = np - 1; i >= 0; --i) {
        for (qsizetype j = nn; j >= 0; --j) {
            const QChar p = pattern[i];
            bool m;
            if (p == u'*')
                m = next[size_t(j)] || (j < nn && row[size_t(j + 1)]);
            else
                m = j < nn && (p == u'?' || p == name[j]) && next[size_t(j + 1)];
            row[size_t(j)] = m;
        }
        std::swap(row, next);
    }
    return next[0];
}

QString shortForm(const QString& name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 && name.size() - dot - 1 > 3 ? name.left(dot + 4) : QString();
}

// A folder of its own for the run, with a folder and a pipe that no listing
// offers whatever the patterns. (Its name outlives every destructor, for the
// clean-up at exit.)
char dirName[] = "/tmp/ostrel-fuzz-patterns-XXXXXX";

QByteArray folder() {
    static const bool made = [] {
        if (!::mkdtemp(dirName))
            std::abort();
        ::mkdir(QByteArray(dirName) + "/sub.txt", 0755);
        ::mkfifo(QByteArray(dirName) + "/pipe.txt", 0644);
        std::atexit([] {
            ::rmdir(QByteArray(dirName) + "/sub.txt");
            ::unlink(QByteArray(dirName) + "/pipe.txt");
            ::rmdir(dirName);
        });
        return true;
    }();
    return made ? QByteArray(dirName) : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const QString list = in.text(80);

    const QStringList patterns = splitPatternList(list);
    const qsizetype lastSlash = list.lastIndexOf(u'/');
    FUZZ_CHECK(lastSlash < 0 ? patterns.isEmpty()
                             : patterns.join(u'/') + u'/' == list.left(lastSlash + 1),
               "%s split into %d patterns", fuzz::quoted(list).constData(), int(patterns.size()));

    QStringList names;
    while (!in.empty() && names.size() < 6) {
        QString name = QString::fromUtf8(in.text(40).toUtf8());
        name.remove(u'/');
        name.remove(QChar(0));
        if (name.isEmpty() || name == u"." || name == u".." || name.toUtf8().size() > 255 ||
            names.contains(name))
            continue;
        names.append(name);
    }

    // Each pattern on each name, as given and folded.
    for (const QString& p : patterns) {
        const Wildcard w(p);
        for (const QString& n : names) {
            const bool want = expectedMatch(p.toCaseFolded(), n.toCaseFolded());
            FUZZ_CHECK(w.matches(n) == want, "%s on %s: %d, expected %d",
                       fuzz::quoted(p).constData(), fuzz::quoted(n).constData(), !want, want);
            FUZZ_CHECK(w.matchesFolded(n.toCaseFolded()) == want, "%s on folded %s: %d",
                       fuzz::quoted(p).constData(), fuzz::quoted(n).constData(), !want);
        }
    }

    // The walk over a folder of those files.
    const QByteArray dir = folder();
    QStringList expected;
    for (const QString& n : names) {
        const int fd = ::open(dir + '/' + n.toUtf8(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        FUZZ_CHECK(fd >= 0, "cannot create %s", fuzz::quoted(n).constData());
        ::close(fd);
        if (n.startsWith(u'.'))
            continue;
        const QString folded = n.toCaseFolded(), foldedShort = shortForm(n).toCaseFolded();
        for (const QString& p : patterns) {
            if (!p.isEmpty() &&
                (expectedMatch(p.toCaseFolded(), folded) ||
                 (!foldedShort.isEmpty() && expectedMatch(p.toCaseFolded(), foldedShort))))
                expected.append(n);
        }
    }
    QStringList listed = recordNames(QString::fromUtf8(dir), list);
    for (const QString& n : names)
        ::unlink(dir + '/' + n.toUtf8());
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    FUZZ_CHECK(listed == expected, "%s listed %s, expected %s", fuzz::quoted(list).constData(),
               fuzz::quoted(listed.join(u'|')).constData(),
               fuzz::quoted(expected.join(u'|')).constData());
    return 0;
}
