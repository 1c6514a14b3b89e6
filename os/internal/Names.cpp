// Names on disk: shown as text, turned back into the entries' own bytes.
#include "Names.h"

#include "os/FileSystem.h"
#include "text/TextCodec.h"

#include <QStringDecoder>
#include <QStringList>

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ostrel::fs {

namespace {

// The length of the valid UTF-8 sequence at the start of `bytes`, or 0.
qsizetype utf8SequenceLength(QByteArrayView bytes) {
    const auto b0 = quint8(bytes[0]);
    qsizetype n;
    if (b0 < 0x80)
        return 1;
    if (b0 >= 0xC2 && b0 <= 0xDF)
        n = 2;
    else if (b0 >= 0xE0 && b0 <= 0xEF)
        n = 3;
    else if (b0 >= 0xF0 && b0 <= 0xF4)
        n = 4;
    else
        return 0;
    if (bytes.size() < n)
        return 0;
    return isUtf8(bytes.first(n)) ? n : 0;
}

// Whether a name can only be one that decodeName made of bytes that are not
// UTF-8: it holds a character beyond ASCII or an escape.
bool mayBeForeign(QStringView name) {
    for (QChar c : name)
        if (c.unicode() >= 0x80)
            return true;
    return name.contains(u"\\x");
}

// The bytes that decodeName shows as `name`, other than its UTF-8.
std::vector<QByteArray> foreignBytes(QStringView name) {
    std::vector<QByteArray> found;
    if (std::optional<QByteArray> cp932 = encodeCodePage932Exactly(name); cp932 && !isUtf8(*cp932))
        found.push_back(std::move(*cp932));
    if (name.contains(u"\\x")) {
        QByteArray bytes;
        for (qsizetype i = 0; i < name.size();) {
            bool ok = false;
            const uint value = i + 4 <= name.size() && name.sliced(i, 2) == u"\\x"
                                   ? name.sliced(i + 2, 2).toUInt(&ok, 16)
                                   : 0;
            if (ok) {
                bytes += char(value);
                i += 4;
            } else {
                // A character beyond the BMP is two units: converted alone,
                // each would be a lone surrogate.
                const qsizetype n =
                    name[i].isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()
                        ? 2
                        : 1;
                bytes += name.sliced(i, n).toUtf8();
                i += n;
            }
        }
        if (!isUtf8(bytes))
            found.push_back(std::move(bytes));
    }
    // Shown as read from code page 932, or escaped (which a listing also
    // does to tell a name from another entry's that reads the same).
    std::erase_if(found, [&](const QByteArray& b) {
        return decodeName(b) != name && escapedName(b) != name;
    });
    return found;
}

} // namespace

bool isUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString ignored = decoder.decode(bytes);
    return !decoder.hasError();
}

QString escapedName(QByteArrayView bytes) {
    QString out;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const qsizetype n = utf8SequenceLength(bytes.sliced(i));
        // A backslash is escaped too, so that every "\\x" of the result is
        // an escape and the bytes can be told back from it.
        if (n > 0 && bytes[i] != '\\') {
            out += QString::fromUtf8(bytes.sliced(i, n));
            i += n;
        } else {
            out += QStringLiteral("\\x") +
                   QString::number(quint8(bytes[i]), 16).rightJustified(2, u'0').toUpper();
            ++i;
        }
    }
    return out;
}

bool lexists(const QByteArray& path) {
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

// The UTF-8 of the name when such an entry exists, else the first of the
// other forms decodeName shows that way (code page 932, then the escapes
// undone) that exists; its UTF-8 when none does.
QByteArray entryBytes(const QByteArray& parent, const QString& name) {
    QByteArray own = name.toUtf8();
    if (!mayBeForeign(name) || lexists(parent + own))
        return own;
    for (QByteArray& bytes : foreignBytes(name))
        if (lexists(parent + bytes))
            return std::move(bytes);
    return own;
}

// Its UTF-8, except for each name that only a listing made from other bytes
// (see decodeName), which gets the bytes of the entry that it leads to.
QByteArray native(const QString& path) {
    QByteArray utf8 = path.toUtf8();
    if (!mayBeForeign(path) || lexists(utf8))
        return utf8;
    QByteArray out;
    const QStringList parts = path.split(u'/');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += '/';
        out += entryBytes(out, parts[i]);
    }
    return out;
}

QByteArray parentOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

QByteArray resolveLinks(const QByteArray& path) {
    QByteArray current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(current.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(current.constData(), buf, sizeof buf - 1);
        if (n <= 0)
            return current;
        const QByteArray target(buf, n);
        current = target.startsWith('/') ? target : parentOf(current) + '/' + target;
    }
    return current;
}

QByteArray absoluteOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArrayLiteral(".") : parentOf(path);
    const QByteArray name = path.mid(slash + 1);
    char buf[PATH_MAX];
    if (!::realpath(folder.constData(), buf))
        return path;
    const QByteArray resolved(buf);
    return (resolved == "/" ? QByteArray() : resolved) + '/' + name;
}

bool isNameOfFolderItself(const char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

std::vector<QByteArray> namesIn(Descriptor dir) {
    std::vector<QByteArray> names;
    if (!dir.isOpen())
        return names;
    const FolderStream d(::fdopendir(dir.get()));
    if (!d)
        return names;
    dir.release(); // the stream's now
    while (dirent* e = ::readdir(d.get()))
        if (!isNameOfFolderItself(e->d_name))
            names.emplace_back(e->d_name);
    return names;
}

QString decodeName(QByteArrayView bytes) {
    if (isUtf8(bytes))
        return QString::fromUtf8(bytes);
    if (std::optional<QString> cp932 = decodeCodePage932Exactly(bytes))
        return *cp932;
    return escapedName(bytes);
}

QByteArray absoluteNativePath(const QString& path) {
    return absoluteOf(native(path));
}

} // namespace ostrel::fs
