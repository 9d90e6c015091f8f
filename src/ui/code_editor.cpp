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

namespace kellix {

namespace {

constexpr int kNumberPadding = 4; // pixels left and right of the line numbers

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
    : QPlainTextEdit(parent), highlighter_(new ScriptHighlighter(document())),
      lineNumbers_(new LineNumberArea(this)) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setTabChangesFocus(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    connect(this, &QPlainTextEdit::blockCountChanged, this, &CodeEditor::UpdateMargin);
    connect(this, &QPlainTextEdit::updateRequest, this, &CodeEditor::UpdateLineNumberArea);
    connect(document(), &QTextDocument::contentsChanged, this, &CodeEditor::ContentsChanged);
    UpdateMargin();
}

void CodeEditor::SetCode(const std::string& bytes) {
    ShownCode shown = ShowCode(bytes);
    bytes_ = bytes;
    form_ = shown.Form;
    shown_ = shown.Text;
    const bool crDefault = form_.Break != LineBreak::Lf;
    mixedBreaks_ = std::any_of(shown.BreakHasCr.begin(), shown.BreakHasCr.end(),
                               [crDefault](bool cr) { return cr != crDefault; });
    settingCode_ = true;
    ClearErrorMark();
    highlighter_->SetCrBreaks(mixedBreaks_ ? std::move(shown.BreakHasCr) : std::vector<bool>(),
                              crDefault);
    setPlainText(shown_);
    settingCode_ = false;
}

void CodeEditor::ContentsChanged() {
    if (settingCode_) {
        return;
    }
    // Formatting passes of the highlighter reach here too; only a changed text is an edit.
    QString text = DocumentText(*document());
    if (text == shown_) {
        return;
    }
    shown_ = std::move(text);
    bytes_ = CodeBytes(shown_, form_);
    if (mixedBreaks_) {
        // The bytes now have one kind of break throughout; the comments follow it.
        mixedBreaks_ = false;
        highlighter_->SetCrBreaks({}, form_.Break != LineBreak::Lf);
    }
    if (OnUserEdit) {
        OnUserEdit(bytes_);
    }
}

void CodeEditor::MarkError(std::ptrdiff_t bytePos) {
    QTextCursor cursor(document());
    cursor.setPosition(ShownPosition(bytes_, shown_, form_.Encoding, bytePos));
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
    setViewportMargins(width, 0, 0, 0);
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
