#include "RecoveryKeeper.h"

#include "store/Recovery.h"

#include "editor/Document.h"

namespace ostrel {

namespace {

// A pause in typing this long writes the copy.
constexpr int kQuietMs = 1000;
// Edits that go on without a pause are copied at least this often.
constexpr int kLongestMs = 10000;

} // namespace

RecoveryKeeper::RecoveryKeeper(editor::Document* document,
                               std::function<store::RecoverySource()> source, QObject* parent)
    : QObject(parent), m_document(document), m_source(std::move(source)),
      m_folder(store::recoveryFolder()), m_jobs([this](Job& job) { run(job); }) {
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(kQuietMs);
    m_longest.setSingleShot(true);
    m_longest.setInterval(kLongestMs);
    connect(&m_quiet, &QTimer::timeout, this, [this] { writeNow(); });
    connect(&m_longest, &QTimer::timeout, this, [this] { writeNow(); });
    connect(document, &editor::Document::changed, this, [this] {
        if (m_document->isModified())
            edited();
    });
    connect(document, &editor::Document::modificationChanged, this, [this](bool modified) {
        if (modified)
            edited();
        else
            discard();
    });
    // A new text (another record, or none) with no edits: nothing to keep.
    connect(document, &editor::Document::reset, this, [this] {
        if (!m_document->isModified())
            discard();
    });
}

RecoveryKeeper::~RecoveryKeeper() {
    if (m_quiet.isActive())
        writeNow();
    m_jobs.waitUntilIdle();
}

void RecoveryKeeper::edited() {
    m_quiet.start();
    if (!m_longest.isActive())
        m_longest.start();
}

bool RecoveryKeeper::isWaiting(Wait wait) const {
    return (wait == Wait::Quiet ? m_quiet : m_longest).isActive();
}

void RecoveryKeeper::endWait(Wait wait) {
    if (isWaiting(wait))
        writeNow();
}

void RecoveryKeeper::adopt(const QString& file) {
    m_copyFile = file;
}

void RecoveryKeeper::flush() {
    if (m_quiet.isActive())
        writeNow();
    m_jobs.waitUntilIdle();
}

void RecoveryKeeper::discard() {
    m_quiet.stop();
    m_longest.stop();
    if (m_copyFile.isEmpty())
        return;
    enqueue({m_copyFile, {}, true, editor::Snapshot()});
    m_copyFile.clear();
}

void RecoveryKeeper::writeNow() {
    m_quiet.stop();
    m_longest.stop();
    store::RecoverySource source = m_source();
    if (!m_document->isModified() || source.name.isEmpty() || m_folder.isEmpty())
        return;
    const QString file = store::recoveryFileFor(m_folder, source);
    if (!m_copyFile.isEmpty() && m_copyFile != file)
        enqueue({m_copyFile, {}, true, editor::Snapshot()});
    enqueue({file, std::move(source), false, m_document->snapshot()});
    m_copyFile = file;
}

void RecoveryKeeper::enqueue(Job job) {
    // A copy not yet written is overtaken by what comes after it.
    const QString file = job.file;
    m_jobs.push(std::move(job), [&](const Job& waiting) { return waiting.file == file; });
}

void RecoveryKeeper::run(Job& job) {
    const bool done = job.remove ? store::removeRecoveryCopy(job.file)
                                 : store::writeRecoveryCopy(job.file, job.source, job.text.parts());
    if (!done) {
        const QString folder = m_folder;
        QMetaObject::invokeMethod(
            this, [this, folder] { emit writeFailed(folder); }, Qt::QueuedConnection);
    }
}

} // namespace ostrel
