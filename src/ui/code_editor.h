#pragma once

#include "code_text.h"

#include <QPlainTextEdit>

class QMimeData;

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace kellix {

class ScriptHighlighter;

// The instrument's code box: the code's bytes shown as text, coloured, with line numbers on
// the left. The model keeps the bytes; the box reports the user's edits as bytes written in
// the form the shown code had (its encoding and line break), and nothing else: code that is
// shown and not edited keeps its bytes exactly. Tab moves the focus, since a tab in front of a
// name breaks the script. It keeps the application's font: the scripts are short statements,
// read like the rest of the window. It pastes plain text only, and only when there is some:
// the text box's own paste crashes on clipboard data that holds no text.
class CodeEditor : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit CodeEditor(QWidget* parent = nullptr);

    // Shows the bytes without calling OnUserEdit; clears the typing history and the error mark
    // (the text it pointed into is gone). Bytes the box itself reported need not come back:
    // setting them again would throw away the typing history at every key.
    void SetCode(const std::string& bytes);
    // The bytes last set or reported.
    const std::string& Code() const { return code_.Bytes; }
    const CodeTextForm& Form() const { return code_.Form; }

    // Places the caret at a byte offset of Code() (the compiler's error position) and marks its
    // line with a soft red background until ClearErrorMark or the next SetCode.
    void MarkError(std::ptrdiff_t bytePos);
    void ClearErrorMark();
    // Marks the numbers of these lines (from 1) in the margin, for the compiler's warnings,
    // until the next call or SetCode.
    void MarkWarnings(const std::vector<int>& lines);
    const std::vector<int>& WarningMarks() const { return warningLines_; }

    // Whether the box's own typing history can go back or forward (the undoAvailable and
    // redoAvailable signals tell of changes; undo() and redo() act).
    bool UndoAvailable() const;
    bool RedoAvailable() const;

    ScriptHighlighter* Highlighter() const { return highlighter_; }

    // Called with the new bytes whenever the user changes the text (typing, paste, cut, undo).
    std::function<void(std::string bytes)> OnUserEdit;
    std::function<void()> OnFocusIn;

    // The line-number area's width for the current line count.
    int LineNumberWidth() const;
    void PaintLineNumbers(QPaintEvent* event);

  public slots:
    // Inserts the clipboard's text where the caret is, as if it were typed; nothing when the
    // clipboard holds no text. Hides the text box's own paste: the shortcut, the context menu
    // and the window's Edit menu all paste through here.
    void paste();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Pasting and dropping: plain text only.
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

  private:
    // Follows a change of the document: the characters at pos, removed before and added now.
    void DocumentChanged(int pos, int removed, int added);
    void UpdateLineNumberArea(const QRect& rect, int dy);
    // Makes room for the line numbers and lays their area over it.
    void UpdateMargin();

    ScriptHighlighter* highlighter_ = nullptr;
    QWidget* lineNumbers_;
    int margin_ = -1; // the line numbers' width the viewport leaves room for
    EditedCode code_; // the shown text and its bytes
    // The shown code's breaks are not all of its form's kind; the first edit makes them so.
    bool mixedBreaks_ = false;
    bool settingCode_ = false;
    std::vector<int> warningLines_; // sorted
};

} // namespace kellix
