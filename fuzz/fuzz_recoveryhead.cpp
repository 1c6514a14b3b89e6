// The head of a recovery copy, read from any bytes: it ends where its empty
// line is, within the limit; the record's path is a full path without NUL;
// a key given twice tells nothing; and every value taken was written in the
// one form the program writes it (a stamp that is not exactly such a form
// is no stamp, so that the save asks).
#include "FuzzSupport.h"
#include "store/Recovery.h"

#include <QList>

using namespace ostrel;

namespace {

QByteArray formOf(const store::DiskState& disk) {
    if (!disk.stamp)
        return "-";
    const fs::FileStamp& s = *disk.stamp;
    return QByteArray::number(s.device) + ' ' + QByteArray::number(s.inode) + ' ' +
           QByteArray::number(s.size) + ' ' + QByteArray::number(s.modifiedNs) + ' ' +
           (s.recent ? "1" : "0") + ' ' +
           (disk.hash ? QByteArray::number(*disk.hash, 16) : QByteArray("-"));
}

// The values of a key among the head's lines.
QList<QByteArray> valuesOf(const QList<QByteArray>& lines, const QByteArray& key) {
    QList<QByteArray> values;
    for (const QByteArray& line : lines)
        if (line.startsWith(key + '='))
            values.append(line.sliced(key.size() + 1));
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    // Most inputs are given the first line, so that the rest is reached.
    const bool withFirstLine = in.byte() & 1;
    const QByteArray bytes =
        (withFirstLine ? QByteArray("Ostrel recovery copy\n") : QByteArray()) + in.rest();
    const std::optional<store::RecoveryHead> head = store::parseRecoveryHead(bytes);
    if (!head)
        return 0;
    FUZZ_CHECK(bytes.startsWith("Ostrel recovery copy\n"), "a head without the first line: %s",
               fuzz::quoted(bytes.left(40)).constData());
    FUZZ_CHECK(head->textAt >= 22 && head->textAt <= bytes.size() &&
                   head->textAt <= store::kRecoveryHeadLimit &&
                   bytes.sliced(head->textAt - 2, 2) == "\n\n" &&
                   !bytes.first(head->textAt - 2).sliced(20).contains("\n\n"),
               "the head ends at %lld", qint64(head->textAt));
    FUZZ_CHECK(head->path.startsWith('/') && !head->path.contains('\0'), "path %s",
               fuzz::quoted(head->path).constData());

    const QList<QByteArray> lines = bytes.sliced(21, head->textAt - 23).split('\n');
    const QList<QByteArray> paths = valuesOf(lines, "Path");
    FUZZ_CHECK(paths.size() == 1 && QByteArray::fromPercentEncoding(paths[0]) == head->path,
               "path %s from %d lines", fuzz::quoted(head->path).constData(), int(paths.size()));
    const QList<QByteArray> loaded = valuesOf(lines, "Loaded");
    if (head->loaded)
        FUZZ_CHECK(loaded.size() == 1 && formOf(*head->loaded) == loaded[0],
                   "stamp %s taken from %d lines (%s)", formOf(*head->loaded).constData(),
                   int(loaded.size()), loaded.isEmpty() ? "" : fuzz::quoted(loaded[0]).constData());
    const QList<QByteArray> folder = valuesOf(lines, "Folder");
    if (head->folderId)
        FUZZ_CHECK(folder.size() == 1 &&
                       folder[0] == QByteArray::number(head->folderId->first) + ' ' +
                                        QByteArray::number(head->folderId->second),
                   "folder taken from %d lines", int(folder.size()));
    const QList<QByteArray> format = valuesOf(lines, "Format");
    if (head->format)
        FUZZ_CHECK(format.size() == 1, "format taken from %d lines", int(format.size()));
    return 0;
}
