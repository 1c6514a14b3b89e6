// File names of any bytes through the file-system layer: every name a listing
// shows reads, copies and deletes its own file and no other, and a copy keeps
// the name's bytes.
#include "FuzzSupport.h"
#include "os/FileSystem.h"

#include <QSet>

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace ostrel;

namespace {

struct Folders {
    QByteArray root, from, to;
};

// Two folders of their own for the run. (The name outlives every destructor,
// for the clean-up at exit.)
char rootName[] = "/tmp/ostrel-fuzz-names-XXXXXX";

Folders folders() {
    static const bool made = [] {
        if (!::mkdtemp(rootName))
            std::abort();
        ::mkdir(QByteArray(rootName) + "/from", 0755);
        ::mkdir(QByteArray(rootName) + "/to", 0755);
        std::atexit([] {
            ::rmdir(QByteArray(rootName) + "/from");
            ::rmdir(QByteArray(rootName) + "/to");
            ::rmdir(rootName);
        });
        return true;
    }();
    const QByteArray root = made ? QByteArray(rootName) : QByteArray();
    return {root, root + "/from", root + "/to"};
}

// The names in a folder, as bytes.
QSet<QByteArray> namesIn(const QByteArray& dir) {
    QSet<QByteArray> names;
    DIR* d = ::opendir(dir);
    while (dirent* e = d ? ::readdir(d) : nullptr)
        if (qstrcmp(e->d_name, ".") != 0 && qstrcmp(e->d_name, "..") != 0)
            names.insert(QByteArray(e->d_name));
    if (d)
        ::closedir(d);
    return names;
}

void removeAll(const QByteArray& dir) {
    for (const QByteArray& n : namesIn(dir))
        ::unlink(dir + '/' + n);
}

// Each file holds its own name, so that what is read tells which file it was.
bool create(const QByteArray& path, const QByteArray& content) {
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, content.constData(), size_t(content.size())) == content.size();
    ::close(fd);
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Folders dirs = folders();
    // Names separated by "/" (which no name holds); a NUL ends a name.
    QSet<QByteArray> made;
    for (QByteArray name :
         QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split('/')) {
        name = QByteArray(name.constData(), qsizetype(qstrnlen(name.constData(), name.size())));
        if (name.isEmpty() || name == "." || name == ".." || name.size() > 255 || made.size() >= 6)
            continue;
        if (create(dirs.from + '/' + name, name))
            made.insert(name);
    }

    const QString from = QString::fromUtf8(dirs.from), to = QString::fromUtf8(dirs.to);
    const std::vector<fs::DirEntry> entries = fs::listDirectory(from);
    FUZZ_CHECK(entries.size() == size_t(made.size()), "%d files listed as %d entries",
               int(made.size()), int(entries.size()));

    // Every name offered leads to its own file, and no two to the same one.
    // Only a file whose name reads as another's, even escaped, is withheld.
    QSet<QByteArray> reached;
    QSet<QString> offered;
    for (const fs::DirEntry& e : entries)
        if (!e.system)
            offered.insert(e.name);
    for (const fs::DirEntry& e : entries) {
        if (e.system) {
            FUZZ_CHECK(offered.contains(e.name), "%s withheld, though no other file has its name",
                       fuzz::quoted(e.name).constData());
            continue;
        }
        const QString path = from + u'/' + e.name;
        const std::optional<QByteArray> content = fs::readFile(path);
        FUZZ_CHECK(content && made.contains(*content), "%s reads %s",
                   fuzz::quoted(e.name).constData(),
                   content ? fuzz::quoted(*content).constData() : "nothing");
        FUZZ_CHECK(!reached.contains(*content), "%s and another name both lead to %s",
                   fuzz::quoted(e.name).constData(), fuzz::quoted(*content).constData());
        reached.insert(*content);
        FUZZ_CHECK(e.hidden == content->startsWith('.') && !e.isDir,
                   "%s listed as hidden %d, folder %d", fuzz::quoted(e.name).constData(), e.hidden,
                   e.isDir);
        // The shown name is the bytes decoded, unless it is escaped to tell
        // it from another entry's.
        FUZZ_CHECK(fs::decodeName(*content) == e.name || e.name.contains(u"\\x"), "%s listed as %s",
                   fuzz::quoted(*content).constData(), fuzz::quoted(e.name).constData());

        // A copy under the same name has the source's name bytes and content.
        FUZZ_CHECK(fs::copyFile(path, to + u'/' + e.name), "%s not copied",
                   fuzz::quoted(e.name).constData());
        const QSet<QByteArray> copied = namesIn(dirs.to);
        FUZZ_CHECK(copied == QSet<QByteArray>{*content}, "%s copied as %d files, not %s",
                   fuzz::quoted(e.name).constData(), int(copied.size()),
                   fuzz::quoted(*content).constData());
        FUZZ_CHECK(fs::readFile(to + u'/' + e.name) == content, "the copy of %s reads otherwise",
                   fuzz::quoted(e.name).constData());
        removeAll(dirs.to);
    }

    // Deleting by each offered name deletes its own file.
    for (const fs::DirEntry& e : entries) {
        if (e.system)
            continue;
        const std::optional<QByteArray> own = fs::readFile(from + u'/' + e.name);
        FUZZ_CHECK(own, "%s no longer reads", fuzz::quoted(e.name).constData());
        FUZZ_CHECK(fs::deleteFile(from + u'/' + e.name), "%s not deleted",
                   fuzz::quoted(e.name).constData());
        FUZZ_CHECK(!namesIn(dirs.from).contains(*own), "deleting %s left %s",
                   fuzz::quoted(e.name).constData(), fuzz::quoted(*own).constData());
    }
    removeAll(dirs.from);
    return 0;
}
