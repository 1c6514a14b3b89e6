#pragma once

#include <QAccessibleWidget>

namespace ostrel::editor {
class TextView;
}

namespace ostrel::editor::internal {

// What screen readers read of a TextView through the accessibility bus: the
// exact text (any range of it, by character, word, sentence, line as shown
// or line of the text), the caret and the selection, and edits made through
// them. Every edit is told as what it took away and put in: a composition
// of an input method is one insert.
class ViewAccessible : public QAccessibleWidget,
                       public QAccessibleTextInterface,
                       public QAccessibleEditableTextInterface {
public:
    explicit ViewAccessible(TextView* view);

    // Makes Qt ask this class for every TextView (once).
    static void install();
    // Tell the screen readers (when one listens).
    static void edited(TextView* view, qsizetype position, const QString& removed,
                       const QString& inserted);
    static void reset(TextView* view);
    static void caretMoved(TextView* view);

    void* interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;

    // QAccessibleTextInterface
    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                             int* startOffset, int* endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                            int* startOffset, int* endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                         int* endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

    // QAccessibleEditableTextInterface
    void deleteText(int startOffset, int endOffset) override;
    void insertText(int offset, const QString& text) override;
    void replaceText(int startOffset, int endOffset, const QString& text) override;

private:
    TextView* view() const;
    // The unit of text that holds an offset: [start, end).
    std::pair<qsizetype, qsizetype> unitAt(qsizetype offset,
                                           QAccessible::TextBoundaryType type) const;
};

} // namespace ostrel::editor::internal
