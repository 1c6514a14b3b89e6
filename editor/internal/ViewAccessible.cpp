#include "ViewAccessible.h"

#include "editor/Document.h"
#include "editor/Lines.h"
#include "editor/TextView.h"

#include <QTextBoundaryFinder>

namespace ostrel::editor::internal {

namespace {

// A text this long is read by ranges only, never as one value.
constexpr qsizetype kValueLength = 1 << 20;

QAccessibleInterface* factory(const QString&, QObject* object) {
    if (auto* view = qobject_cast<TextView*>(object))
        return new ViewAccessible(view);
    return nullptr;
}

} // namespace

ViewAccessible::ViewAccessible(TextView* view)
    : QAccessibleWidget(view, QAccessible::EditableText) {}

void ViewAccessible::install() {
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

TextView* ViewAccessible::view() const {
    return static_cast<TextView*>(widget());
}

void ViewAccessible::edited(TextView* view, qsizetype position, const QString& removed,
                            const QString& inserted) {
    if (!removed.isEmpty() && !inserted.isEmpty()) {
        QAccessibleTextUpdateEvent event(view, int(position), removed, inserted);
        QAccessible::updateAccessibility(&event);
    } else if (!removed.isEmpty()) {
        QAccessibleTextRemoveEvent event(view, int(position), removed);
        QAccessible::updateAccessibility(&event);
    } else if (!inserted.isEmpty()) {
        QAccessibleTextInsertEvent event(view, int(position), inserted);
        QAccessible::updateAccessibility(&event);
    }
}

void ViewAccessible::reset(TextView* view) {
    if (!QAccessible::isActive())
        return;
    // A new text: told whole when it is short, else as nothing but new.
    const Document* doc = view->document();
    QAccessibleTextUpdateEvent event(view, 0, QString(),
                                     doc->length() <= kValueLength ? doc->toString() : QString());
    QAccessible::updateAccessibility(&event);
    caretMoved(view);
}

void ViewAccessible::caretMoved(TextView* view) {
    if (view->hasSelection()) {
        QAccessibleTextSelectionEvent selection(view, int(view->selectionStart()),
                                                int(view->selectionEnd()));
        selection.setCursorPosition(int(view->caret()));
        QAccessible::updateAccessibility(&selection);
    } else {
        QAccessibleTextCursorEvent cursor(view, int(view->caret()));
        QAccessible::updateAccessibility(&cursor);
    }
}

void* ViewAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    if (type == QAccessible::EditableTextInterface)
        return static_cast<QAccessibleEditableTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State ViewAccessible::state() const {
    QAccessible::State s = QAccessibleWidget::state();
    s.editable = !view()->isReadOnly();
    s.readOnly = view()->isReadOnly();
    s.multiLine = true;
    s.selectableText = true;
    return s;
}

QString ViewAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Value) {
        const Document* doc = view()->document();
        return doc->length() <= kValueLength ? doc->toString() : QString();
    }
    return QAccessibleWidget::text(t);
}

void ViewAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const {
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || !view()->hasSelection())
        return;
    *startOffset = int(view()->selectionStart());
    *endOffset = int(view()->selectionEnd());
}

int ViewAccessible::selectionCount() const {
    return view()->hasSelection() ? 1 : 0;
}

void ViewAccessible::addSelection(int startOffset, int endOffset) {
    setSelection(0, startOffset, endOffset);
}

void ViewAccessible::removeSelection(int selectionIndex) {
    if (selectionIndex == 0)
        view()->setCaret(view()->caret());
}

void ViewAccessible::setSelection(int selectionIndex, int startOffset, int endOffset) {
    if (selectionIndex == 0)
        view()->select(startOffset, endOffset);
}

int ViewAccessible::cursorPosition() const {
    return int(view()->caret());
}

void ViewAccessible::setCursorPosition(int position) {
    view()->setCaret(position);
}

QString ViewAccessible::text(int startOffset, int endOffset) const {
    const Document* doc = view()->document();
    if (endOffset < 0 || endOffset > doc->length())
        endOffset = int(doc->length());
    if (startOffset < 0 || startOffset >= endOffset)
        return QString();
    return doc->mid(startOffset, endOffset - startOffset);
}

int ViewAccessible::characterCount() const {
    return int(std::min<qsizetype>(view()->document()->length(), INT_MAX));
}

std::pair<qsizetype, qsizetype> ViewAccessible::unitAt(qsizetype offset,
                                                       QAccessible::TextBoundaryType type) const {
    const Document* doc = view()->document();
    const qsizetype length = doc->length();
    offset = std::clamp<qsizetype>(offset, 0, length);
    const qsizetype line = doc->lineOf(offset);
    switch (type) {
    case QAccessible::NoBoundary:
        return {0, length};
    case QAccessible::ParagraphBoundary:
        return {doc->lineStart(line), std::min(length, doc->lineEnd(line) + 1)};
    case QAccessible::LineBoundary: {
        // The line as shown: a row with word wrap.
        const std::optional<qsizetype> row = view()->lines()->lineOf(offset);
        if (row) {
            const std::optional<qsizetype> start = view()->lines()->lineStart(*row);
            const std::optional<qsizetype> next = view()->lines()->lineStart(*row + 1);
            if (start && *start >= 0 && next)
                return {*start, *next < 0 ? length : *next};
        }
        return {doc->lineStart(line), std::min(length, doc->lineEnd(line) + 1)};
    }
    case QAccessible::CharBoundary:
    case QAccessible::WordBoundary:
    case QAccessible::SentenceBoundary: {
        // Found in the part of the line around the offset.
        const qsizetype from = std::max(doc->lineStart(line), offset - 1024);
        const qsizetype to = std::min(doc->lineEnd(line) + 1, std::min(length, offset + 1024));
        const QString window = doc->mid(from, to - from);
        if (window.isEmpty())
            return {offset, offset};
        const auto kind = type == QAccessible::CharBoundary   ? QTextBoundaryFinder::Grapheme
                          : type == QAccessible::WordBoundary ? QTextBoundaryFinder::Word
                                                              : QTextBoundaryFinder::Sentence;
        QTextBoundaryFinder finder(kind, window);
        const qsizetype at = std::min(offset - from, window.size() - 1);
        finder.setPosition(at);
        qsizetype start = finder.isAtBoundary() ? at : finder.toPreviousBoundary();
        if (start < 0)
            start = 0;
        finder.setPosition(start);
        qsizetype end = finder.toNextBoundary();
        if (end < 0)
            end = window.size();
        return {from + start, from + end};
    }
    }
    return {offset, offset};
}

QString ViewAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                     int* startOffset, int* endOffset) const {
    const auto [start, end] = unitAt(offset, boundaryType);
    *startOffset = int(start);
    *endOffset = int(end);
    return view()->document()->mid(start, end - start);
}

QString ViewAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                         int* startOffset, int* endOffset) const {
    const auto [start, end] = unitAt(offset, boundaryType);
    Q_UNUSED(end);
    if (start <= 0) {
        *startOffset = *endOffset = 0;
        return QString();
    }
    return textAtOffset(int(start - 1), boundaryType, startOffset, endOffset);
}

QString ViewAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                        int* startOffset, int* endOffset) const {
    const auto [start, end] = unitAt(offset, boundaryType);
    Q_UNUSED(start);
    const qsizetype length = view()->document()->length();
    if (end >= length) {
        *startOffset = *endOffset = int(length);
        return QString();
    }
    return textAtOffset(int(end), boundaryType, startOffset, endOffset);
}

QRect ViewAccessible::characterRect(int offset) const {
    const QRect r = view()->caretRect(offset);
    const QRect next = view()->caretRect(offset + 1);
    const int width = next.top() == r.top() ? std::max(1, next.left() - r.left()) : 1;
    const QPoint global = view()->viewport()->mapToGlobal(r.topLeft());
    return QRect(global, QSize(width, r.height()));
}

int ViewAccessible::offsetAtPoint(const QPoint& point) const {
    return int(view()->positionAt(view()->viewport()->mapFromGlobal(point)));
}

void ViewAccessible::scrollToSubstring(int startIndex, int endIndex) {
    view()->select(startIndex, endIndex);
    view()->ensureCaretVisible();
}

QString ViewAccessible::attributes(int offset, int* startOffset, int* endOffset) const {
    *startOffset = 0;
    *endOffset = characterCount();
    Q_UNUSED(offset);
    return QString();
}

void ViewAccessible::deleteText(int startOffset, int endOffset) {
    replaceText(startOffset, endOffset, QString());
}

void ViewAccessible::insertText(int offset, const QString& text) {
    replaceText(offset, offset, text);
}

void ViewAccessible::replaceText(int startOffset, int endOffset, const QString& text) {
    if (view()->isReadOnly())
        return;
    view()->select(startOffset, endOffset);
    view()->insertText(text);
}

} // namespace ostrel::editor::internal
