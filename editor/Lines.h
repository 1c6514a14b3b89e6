#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace ostrel::editor {

class Document;
class TextView;
namespace internal {
class RowCounter;
struct WrapSetup;
} // namespace internal

// The lines of a view's text as the view shows them, counted from 0: with
// word wrap each row is a line of its own, without it each line of the text.
//
// Rows are counted with the view's own wrap rule (a width measure over
// glyph advances cached per character), which also places the rows the view
// draws and prints, so the three always agree. After a new text or a change
// of width, font or wrap, the rows are counted on other threads; a question
// that needs rows not counted yet is answered with nothing, and `known`
// tells when to ask again. Edits recount only what they touched, at once.
class Lines : public QObject {
    Q_OBJECT

public:
    ~Lines() override;

    // The line that holds a position (the end of a row that wraps belongs to
    // the next row).
    std::optional<qsizetype> lineOf(qsizetype position) const;
    // The first position of a line; -1 when there is no such line.
    std::optional<qsizetype> lineStart(qsizetype line) const;
    // How many lines there are (nothing also while a load runs).
    std::optional<qsizetype> lineCount() const;
    // Whether rows are being counted on other threads.
    bool counting() const;

    // The lines as shown now, handed out one after another, each without its
    // line break; a last line that is empty (the text ends with a line break)
    // is left out. Cut from a snapshot with the view's wrap rule as they are
    // handed out, on any thread; later edits do not reach them.
    class Shown {
    public:
        virtual ~Shown() = default;
        virtual bool next(QString& line) = 0;
    };
    std::unique_ptr<Shown> shown() const;

signals:
    // More rows are counted: a question answered with nothing may have an
    // answer now.
    void known();

private:
    friend class TextView;
    Lines(Document* document, QObject* parent);
    void setDocument(Document* document);
    void setSetup(const internal::WrapSetup& setup);
    const internal::WrapSetup& setup() const;
    internal::RowCounter& counter() const { return *m_counter; }

    std::unique_ptr<internal::RowCounter> m_counter;
};

} // namespace ostrel::editor
