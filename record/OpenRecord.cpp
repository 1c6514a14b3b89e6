#include "OpenRecord.h"

#include "RecoveryKeeper.h"
#include "core/UserError.h"
#include "editor/Document.h"
#include "os/FileSystem.h"
#include "store/StoreTexts.h"

namespace ostrel {

// A record's file as the document's loader reads it (on its own thread); the
// file stays the open record's, which takes its state once all is read.
class OpenRecord::FileSource : public editor::ByteSource {
public:
    explicit FileSource(std::shared_ptr<fs::FileReader> file) : m_file(std::move(file)) {}
    qint64 size() const override { return m_file->size(); }
    qint64 read(char* into, qint64 room) override { return m_file->read(into, room); }
    bool rewind() override { return m_file->rewind(); }

private:
    std::shared_ptr<fs::FileReader> m_file;
};

OpenRecord::OpenRecord(std::function<QString()> dataFolder, QObject* parent)
    : QObject(parent), m_document(new editor::Document(this)) {
    m_recovery = new RecoveryKeeper(
        m_document,
        [this, dataFolder = std::move(dataFolder)] {
            const QString folder = dataFolder();
            if (m_record.path.isEmpty() || folder.isEmpty())
                return store::RecoverySource{};
            return store::RecoverySource{folder, m_record.group, m_record.name, m_record.disk,
                                         m_record.format};
        },
        this);
    connect(m_document, &editor::Document::loadProgress, this, &OpenRecord::loadProgress);
    connect(m_document, &editor::Document::loadFinished, this,
            [this](const editor::LoadResult& result) {
                const std::shared_ptr<fs::FileReader> file = std::move(m_file);
                if (!file)
                    return;
                if (!result.complete) {
                    // What was read is no record's text: nothing of it stays.
                    const QString path = m_record.path;
                    m_record = store::LoadedRecord();
                    clear();
                    emit loadFinished(texts::store::cannotOpenFile().arg(path));
                    return;
                }
                store::finishReading(m_record, *file, result.format);
                emit loadFinished(QString());
            });
}

OpenRecord::~OpenRecord() {
    // The keeper reads the document: it goes (writing what it still owes)
    // while the document is whole.
    delete m_recovery;
    m_document->cancelLoad();
}

bool OpenRecord::isComplete() const {
    return m_document->isComplete();
}

bool OpenRecord::isLoading() const {
    return m_document->isLoading();
}

void OpenRecord::load(const QString& group, const QString& name) {
    store::OpenedRecord opened = store::openRecord(group, name);
    if (opened.file->size() < kBackgroundSize) {
        // Read at once (and again, whole, as load reads it).
        opened.file.reset();
        show(store::load(group, name));
        return;
    }
    // The record is the loaded one at once, but the text is not its whole
    // until the file is read to its end: until then no save writes it.
    dropLoad();
    m_record = std::move(opened.record);
    m_file = std::shared_ptr<fs::FileReader>(std::move(opened.file));
    m_document->load(std::make_unique<FileSource>(m_file));
}

void OpenRecord::dropLoad() {
    if (!m_document->isLoading())
        return;
    m_document->cancelLoad();
    m_file.reset();
    emit loadCancelled();
}

void OpenRecord::show(store::RecordText loaded) {
    dropLoad();
    m_file.reset();
    m_record = std::move(loaded.record);
    m_document->setText(loaded.text);
}

void OpenRecord::takeState(store::LoadedRecord record) {
    m_record = std::move(record);
}

void OpenRecord::restore(store::LoadedRecord record, const QString& text, const QString& copyFile) {
    dropLoad();
    m_file.reset();
    m_record = std::move(record);
    m_document->setText(text);
    m_recovery->adopt(copyFile);
    m_document->setModified(true);
}

void OpenRecord::clear() {
    dropLoad();
    m_file.reset();
    m_document->setText(QString());
}

OpenRecord::SaveResult OpenRecord::save(const Answers& answers) {
    if (!isComplete() || m_record.path.isEmpty())
        return {};
    if (!m_record.format.lossless && !answers.writeLossy)
        return {false, Question::LossyRead};
    store::LoadedRecord record = m_record;
    // The record takes a new encoding (UTF-8) only once it is written so.
    if (answers.asUtf8)
        record.format.encoding = TextEncoding::Utf8;
    const editor::Snapshot text = m_document->snapshot();
    switch (
        store::save(record, text.parts(),
                    answers.overwrite ? store::Overwrite::Always : store::Overwrite::IfUnchanged)) {
    case store::SaveResult::Saved:
        m_record = std::move(record);
        m_document->setModified(false);
        return {true, std::nullopt};
    case store::SaveResult::Changed:
        return {false, Question::Changed};
    case store::SaveResult::Gone:
        return {false, Question::Gone};
    case store::SaveResult::Unencodable:
        // UTF-8 holds every character: a second refusal is a fault.
        if (record.format.encoding == TextEncoding::Utf8)
            throw UserError(texts::store::cannotCreateFile().arg(record.path));
        return {false, Question::Unencodable};
    }
    return {};
}

} // namespace ostrel
