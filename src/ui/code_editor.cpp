#include "code_editor.h"

#include "script_highlighter.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QTextBlock>

#include <algorithm>
#include <utility>

namespace kellix {

namespace {

constexpr int kNumberPadding = 4; // pixels left and right of the line numbers
// The margin behind the number of a line the compiler warned about.
QColor WarningMark() {
    return {255, 200, 80};
}

class LineNumberArea : public QWidget {
  public:
    explicit LineNumberArea(CodeEditor* editor) : QWidget(editor), editor_(editor) {}
    QSize sizeHint() const override { return {editor_->LineNumberWidth(), 0}; }

  protected:
    void paintEvent(QPaintEvent* event) override { editor_->PaintLineNumbers(event); }

  private:
    CodeEditor* editor_;
};

} // namespace

CodeEditor::CodeEditor(QWidget* parent)
    : QPlainTextEdit(parent), lineNumbers_(new LineNumberArea(this)) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setTabChangesFocus(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    connect(this, &QPlainTextEdit::blockCountChanged, this, &CodeEditor::UpdateMargin);
    connect(this, &QPlainTextEdit::updateRequest, this, &CodeEditor::UpdateLineNumberArea);
    // Connected before the highlighter is made, so that a text change reaches the bridge
    // before the colouring it causes.
    connect(document(), &QTextDocument::contentsChange, this, &CodeEditor::DocumentChanged);
    highlighter_ = new ScriptHighlighter(document());
    UpdateMargin();
}

void CodeEditor::SetCode(const std::string& bytes) {
    ShownCode shown = ShowCode(bytes);
    code_.Bytes = bytes;
    code_.Form = shown.Form;
    code_.Text = shown.Text;
    code_.MarkLine = 0;
    code_.MarkByte = 0;
    const bool crDefault = code_.Form.Break != LineBreak::Lf;
    mixedBreaks_ = std::any_of(shown.BreakHasCr.begin(), shown.BreakHasCr.end(),
                               [crDefault](bool cr) { return cr != crDefault; });
    settingCode_ = true;
    ClearErrorMark();
    MarkWarnings({});
    highlighter_->SetCrBreaksOfNextText(
        mixedBreaks_ ? std::move(shown.BreakHasCr) : std::vector<bool>(), crDefault);
    setPlainText(shown.Text);
    settingCode_ = false;
}

void CodeEditor::DocumentChanged(int pos, int, int added) {
    if (settingCode_) {
        return;
    }
    // A change that reaches the end counts the document's closing paragraph end too; the
    // length before and after tells how many characters really went and came.
    const QString& before = code_.Text;
    const qsizetype length = document()->characterCount() - 1;
    const qsizetype at = std::clamp<qsizetype>(pos, 0, std::min(length, before.size()));
    const qsizetype now =
        std::clamp<qsizetype>(std::max<qsizetype>(added, length - before.size()), 0, length - at);
    const qsizetype gone = before.size() - length + now;
    const QString text = DocumentText(*document(), static_cast<int>(at), static_cast<int>(now));
    // Colouring passes report their blocks as changed too; only a changed text is an edit.
    if (QStringView(before).mid(at, gone) == text) {
        return;
    }
    if (mixedBreaks_) {
        // The bytes now have one kind of break throughout; the comments follow it.
        code_.Text.replace(at, gone, text);
        code_.Bytes = CodeBytes(code_.Text, code_.Form);
        code_.MarkLine = 0;
        code_.MarkByte = 0;
        mixedBreaks_ = false;
        highlighter_->SetCrBreaks({}, code_.Form.Break != LineBreak::Lf);
    } else {
        ReplaceText(code_, at, gone, text);
    }
    if (OnUserEdit) {
        OnUserEdit(code_.Bytes);
    }
}

void CodeEditor::MarkError(std::ptrdiff_t bytePos) {
    QTextCursor cursor(document());
    cursor.setPosition(ShownPosition(code_.Bytes, code_.Text, code_.Form.Encoding, bytePos));
    setTextCursor(cursor);
    QTextEdit::ExtraSelection mark;
    mark.cursor = cursor;
    mark.format.setBackground(QColor(255, 220, 220));
    mark.format.setProperty(QTextFormat::FullWidthSelection, true);
    setExtraSelections({mark});
    ensureCursorVisible();
}

void CodeEditor::ClearErrorMark() {
    setExtraSelections({});
}

void CodeEditor::MarkWarnings(const std::vector<int>& lines) {
    warningLines_ = lines;
    std::sort(warningLines_.begin(), warningLines_.end());
    lineNumbers_->update();
}

bool CodeEditor::UndoAvailable() const {
    return document()->isUndoAvailable();
}

bool CodeEditor::RedoAvailable() const {
    return document()->isRedoAvailable();
}

int CodeEditor::LineNumberWidth() const {
    int digits = 1;
    for (int n = std::max(1, blockCount()); n >= 10; n /= 10) {
        ++digits;
    }
    return 2 * kNumberPadding + fontMetrics().horizontalAdvance(QLatin1Char('9')) * digits;
}

void CodeEditor::PaintLineNumbers(QPaintEvent* event) {
    QPainter painter(lineNumbers_);
    painter.fillRect(event->rect(), QColor(240, 240, 240));
    painter.setPen(QColor(128, 128, 128));
    const int width = lineNumbers_->width() - kNumberPadding;
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    while (block.isValid() && top <= event->rect().bottom()) {
        const int bottom = top + qRound(blockBoundingRect(block).height());
        if (block.isVisible() && bottom >= event->rect().top()) {
            if (std::binary_search(warningLines_.begin(), warningLines_.end(),
                                   block.blockNumber() + 1)) {
                painter.fillRect(0, top, lineNumbers_->width(), bottom - top, WarningMark());
            }
            painter.drawText(0, top, width, fontMetrics().height(), Qt::AlignRight,
                             QString::number(block.blockNumber() + 1));
        }
        block = block.next();
        top = bottom;
    }
}

void CodeEditor::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    UpdateMargin();
}

void CodeEditor::UpdateMargin() {
    const int width = LineNumberWidth();
    if (width != margin_) {
        // Laying out the viewport again is dear; most calls come with the width unchanged.
        margin_ = width;
        setViewportMargins(width, 0, 0, 0);
    }
    const QRect area = contentsRect();
    lineNumbers_->setGeometry(QRect(area.left(), area.top(), width, area.height()));
}

void CodeEditor::focusInEvent(QFocusEvent* event) {
    QPlainTextEdit::focusInEvent(event);
    if (OnFocusIn) {
        OnFocusIn();
    }
}

void CodeEditor::paste() {
    insertFromMimeData(QGuiApplication::clipboard()->mimeData());
}

void CodeEditor::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        paste();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CodeEditor::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu(event->pos());
    if (auto* action = menu->findChild<QAction*>(QStringLiteral("edit-paste"))) {
        disconnect(action, &QAction::triggered, nullptr, nullptr);
        connect(action, &QAction::triggered, this, &CodeEditor::paste);
    }
    menu->exec(event->globalPos());
    delete menu;
}

bool CodeEditor::canInsertFromMimeData(const QMimeData* source) const {
    return source && source->hasText();
}

void CodeEditor::insertFromMimeData(const QMimeData* source) {
    if (!canInsertFromMimeData(source)) {
        return;
    }
    QString text = source->text();
    // The code is stored as a zero-terminated text: a zero would cut off what follows it.
    text.remove(QChar(u'\0'));
    if (!text.isEmpty()) {
        insertPlainText(text);
        ensureCursorVisible();
    }
}

void CodeEditor::UpdateLineNumberArea(const QRect& rect, int dy) {
    if (dy != 0) {
        lineNumbers_->scroll(0, dy);
    } else {
        lineNumbers_->update(0, rect.y(), lineNumbers_->width(), rect.height());
    }
    if (rect.contains(viewport()->rect())) {
        UpdateMargin();
    }
}

} // namespace kellix
