#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

namespace ostrel::editor {

class Document;
class Lines;
namespace internal {
class ViewLayout;
class ViewAccessible;
} // namespace internal

// A plain-text editor of a Document: it lays out and paints only the rows
// that are shown (a text layout per shown row, kept while it is shown), with
// word wrap at its right edge or none, for lines of any length. The keys,
// the mouse, the clipboard, drag and drop, undo and redo work as in Qt's
// plain-text editor; input methods write into the text with their pre-edit
// shown in place, and screen readers read the exact text, caret and
// selection.
//
// Positions are text positions (UTF-16 code units from 0). The font is the
// widget's font; the text, background and selection colours are its
// palette's (Text, Base, Highlight, HighlightedText).
class TextView : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit TextView(QWidget* parent = nullptr);
    ~TextView() override;

    // The document shown: the view's own until another is set. The view does
    // not own one it is given; it shows its own again should that one go.
    Document* document() const;
    void setDocument(Document* document);
    // The lines as the view shows them.
    Lines* lines() const;

    // Word wrap at the view's right edge; on at the start. Keeps the text,
    // its modified mark and the caret.
    void setWordWrap(bool on);
    bool wordWrap() const;
    // No edit is taken from the keys, the mouse or the commands (also while
    // the document is incomplete).
    void setReadOnly(bool readOnly);
    bool isReadOnly() const;

    // --- caret and selection
    qsizetype caret() const; // the moving end of the selection
    qsizetype anchor() const;
    qsizetype selectionStart() const; // the lower end
    qsizetype selectionEnd() const;
    bool hasSelection() const { return caret() != anchor(); }
    QString selectedText() const;
    // An empty selection at a position limited to the text.
    void setCaret(qsizetype position);
    void select(qsizetype anchor, qsizetype position);
    void selectAll();
    // Scrolls the caret (or the selection's moving end) into view.
    void ensureCaretVisible();

    // --- edits as the user makes them, each one step to undo (nothing while
    // read-only). With nothing selected, cut, copy and delete do nothing.
    void insertText(const QString& text); // replaces the selection
    void deleteSelection();
    void cut();
    void copy() const;
    void paste();
    void undo();
    void redo();

    // --- input methods
    // What an input method is composing (shown, not yet part of the text).
    QString composition() const;
    // Makes a composition part of the text: as the input method commits it
    // (a conversion chosen, say), or as it stands; nothing without one.
    void commitComposition();

    // --- lines as shown
    // Moves the caret to the start of a line as shown, now or once the rows
    // before it are counted; a line that does not exist leaves the caret
    // where it is. Dropped when the caret moves or a new text comes first.
    void moveCaretToLine(qsizetype line);
    // Answers the line as shown that holds a position, now or once it is
    // counted (the position follows the edits made meanwhile). A later
    // question, or a new text, drops an earlier one unanswered.
    void whenLineKnown(qsizetype position, std::function<void(qsizetype line)> answer);

    // --- geometry, in the viewport's coordinates
    QRect caretRect(qsizetype position) const;
    QRect caretRect() const { return caretRect(caret()); }
    qsizetype positionAt(const QPoint& point) const;
    int rowHeight() const;

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

signals:
    // The caret or the selection moved (also when an edit moved them).
    void caretMoved();
    void selectionChanged();
    // The user asked for a context menu (the view shows none of its own).
    void contextMenuRequested(const QPoint& globalPosition);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    friend class internal::ViewAccessible;
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace ostrel::editor
