// The code box: the bridge between code bytes and shown text, the colouring, and the editor.
#include "ui/code_editor.h"
#include "ui/code_text.h"
#include "ui/script_highlighter.h"

#include <QLineEdit>
#include <QTextBlock>
#include <QVBoxLayout>
#include <QtTest>

#include <string>
#include <vector>

using namespace kellix;
using Role = ScriptHighlighter::Role;

namespace {

const std::string kDefaultCode =
    " GeneratorSampleMode( SM_ADD );\r\n Result:=CreateSample( 10000 , 1 );";

// Every byte but NUL, LF and CR, then a CR LF: not UTF-8, so shown as Latin-1.
std::string BinaryText() {
    std::string s;
    for (int b = 1; b < 256; ++b) {
        if (b != '\n' && b != '\r') {
            s += static_cast<char>(b);
        }
    }
    return s + "\r\nend";
}

// The colour the highlighter gave the shown character at pos; invalid when none.
QColor ColourAt(const QTextDocument& document, int pos) {
    const QTextBlock block = document.findBlock(pos);
    for (const QTextLayout::FormatRange& r : block.layout()->formats()) {
        const int at = pos - block.position();
        if (at >= r.start && at < r.start + r.length &&
            r.format.hasProperty(QTextFormat::ForegroundBrush)) {
            return r.format.foreground().color();
        }
    }
    return {};
}

QColor RoleColour(int role) {
    return role < 0 ? QColor() : ScriptHighlighter::Format(Role(role)).foreground().color();
}

// An editor with a few known names, recording what it reports.
struct Box {
    CodeEditor editor;
    std::vector<std::string> edits;
    Box() {
        editor.Highlighter()->SetNames({"GENERATORSAMPLEMODE", "CREATESAMPLE", "GSAMPLE"},
                                       {"RESULT", "S1"}, {"SM_ADD", "FG_SIN"});
        editor.OnUserEdit = [this](std::string bytes) { edits.push_back(std::move(bytes)); };
    }
    void TypeAtEnd(const QString& keys) {
        editor.moveCursor(QTextCursor::End);
        QTest::keyClicks(&editor, keys);
    }
};

} // namespace

class CodeEditorTest : public QObject {
    Q_OBJECT
  private slots:
    void ShowsBytes();
    void EditedTextTakesTheRememberedBreak();
    void Latin1CannotHoldBecomesQuestionMark();
    void Positions();
    void NamesOfTableSortsByKind();
    void TypingReportsTheRememberedBreakAndSetCodeNothing();
    void HighlightingKeepsBytes();
    void Colours();
    void CommentReachFollowsEditedBreaks();
    void MarkErrorMarksTheLine();
    void UndoHistory();
    void TabMovesFocus();
};

// Showing decodes as described, and converting the text back gives the same bytes.
void CodeEditorTest::ShowsBytes() {
    const LineBreak crlf = LineBreak::CrLf;
    const struct {
        std::string bytes;
        QString text;
        bool latin1;
        LineBreak lineBreak;
    } cases[] = {
        {kDefaultCode, " GeneratorSampleMode( SM_ADD );\n Result:=CreateSample( 10000 , 1 );",
         false, crlf},
        {"", "", false, crlf},
        {"a\nb\n", "a\nb\n", false, LineBreak::Lf},
        {"a\rb", "a\nb", false, LineBreak::Cr},
        {"caf\xC3\xA9", QString::fromUtf16(u"caf\u00E9"), false, crlf},
        {"\xF0\x9F\x8E\xB5", QString::fromUtf16(u"\U0001F3B5"), false, crlf},
        // Not UTF-8: an overlong form, a surrogate, a cut sequence, a lone Latin-1 byte.
        {"\xC0\xAF", QString::fromUtf16(u"\u00C0\u00AF"), true, crlf},
        {"\xED\xA0\x80", QString::fromUtf16(u"\u00ED\u00A0\u0080"), true, crlf},
        {"x\xE2\x82", QString::fromUtf16(u"x\u00E2\u0082"), true, crlf},
        {"a\xA0", QString::fromUtf16(u"a\u00A0"), true, crlf},
    };
    for (const auto& c : cases) {
        const ShownCode shown = ShowCode(c.bytes);
        QCOMPARE(shown.Text, c.text);
        QCOMPARE(shown.Form.Encoding == CodeEncoding::Latin1, c.latin1);
        QVERIFY(shown.Form.Break == c.lineBreak);
        QCOMPARE(CodeBytes(shown.Text, shown.Form), c.bytes);
    }
}

void CodeEditorTest::EditedTextTakesTheRememberedBreak() {
    const std::pair<std::string, std::string> cases[] = {
        {"a\r\nb\nc\rd", "a\r\nb\r\nc\r\nd"}, // CR LF wins
        {"a\rb\nc", "a\nb\nc"},               // LF before CR
        {"a\r\r\nb", "a\r\n\r\nb"},
        {"\ra\r", "\ra\r"},
    };
    for (const auto& [bytes, written] : cases) {
        const ShownCode shown = ShowCode(bytes);
        QCOMPARE(CodeBytes(shown.Text, shown.Form), written);
    }
}

void CodeEditorTest::Latin1CannotHoldBecomesQuestionMark() {
    const QString text = QString::fromUtf16(u"a\u0151\U0001F3B5\u00FF\nb");
    QCOMPARE(CodeBytes(text, {CodeEncoding::Latin1, LineBreak::Lf}), std::string("a??\xFF\nb"));
    QCOMPARE(CodeBytes(text, {CodeEncoding::Utf8, LineBreak::Cr}),
             std::string("a\xC5\x91\xF0\x9F\x8E\xB5\xC3\xBF\rb"));
    // The '?' stands for one character, so positions after it still meet.
    const std::string bytes = "\xFF\xFE?\r\nX";
    QCOMPARE(ShownPosition(bytes, QString::fromUtf16(u"\u00FF\u00FE\U0001F3B5\nX"),
                           CodeEncoding::Latin1, 5),
             5);
}

void CodeEditorTest::Positions() {
    const struct {
        std::string bytes;
        int bytePos, position, line;
    } cases[] = {
        {kDefaultCode, 31, 31, 1}, // the CR
        {kDefaultCode, 32, 31, 1}, // the LF of CR LF
        {kDefaultCode, 34, 33, 2},  {kDefaultCode, -1, 0, 1},       {kDefaultCode, 1000, 67, 2},
        {"\xC3\xA9\r\nX", 1, 0, 1}, // inside a UTF-8 character
        {"\xC3\xA9\r\nX", 4, 2, 2}, {"\xF0\x9F\x8E\xB5X", 4, 2, 1}, {"\xE9\nX", 2, 2, 2},
        {"a\nb\r\nc\rd", 7, 6, 4},  {BinaryText(), 255, 254, 2},
    };
    for (const auto& c : cases) {
        const ShownCode shown = ShowCode(c.bytes);
        QCOMPARE(ShownPosition(c.bytes, shown.Text, shown.Form.Encoding, c.bytePos), c.position);
        QCOMPARE(LineOfByte(c.bytes, c.bytePos), c.line);
    }
}

void CodeEditorTest::NamesOfTableSortsByKind() {
    const IdentEntry table[] = {
        {kIdentProcedure, "GSAMPLE", 1, 2, nullptr},
        {kIdentFunction, "CREATESAMPLE", 1, 2, nullptr},
        {kIdentConstant, "LIBCONST", 7, 0, nullptr},
        {kIdentVariable, "RESULT", 1, 0, nullptr},
        {kIdentProcedure, "RESULT", 1, 0, nullptr},
        {kIdentConstant, "SM_ADD", 1, 0, nullptr},
        {9, "BROKEN", 1, 0, nullptr},
        {kIdentProcedure, "HUGE", 1, 17, nullptr},
    };
    const ScriptNames names = NamesOfTable(table, 8);
    QCOMPARE(names.Procedures, QStringList({"GSAMPLE", "CREATESAMPLE"}));
    QCOMPARE(names.Variables, QStringList({"RESULT"}));
    QCOMPARE(names.Constants, QStringList({"LIBCONST", "SM_ADD"}));
}

// Typing reports the whole code with the break the text came with (CR LF for new text); setting
// the code, colouring it or marking an error reports nothing.
void CodeEditorTest::TypingReportsTheRememberedBreakAndSetCodeNothing() {
    for (const auto& [start, typed] :
         {std::pair<std::string, std::string>{"ab", "ab\r\nc"}, {"a\nb", "a\nb\nc"}}) {
        Box box;
        box.editor.SetCode(start);
        box.editor.Highlighter()->rehighlight();
        box.editor.Highlighter()->SetNames({"X"}, {}, {});
        box.editor.MarkError(1);
        QVERIFY(box.edits.empty());
        box.TypeAtEnd("");
        QTest::keyClick(&box.editor, Qt::Key_Return);
        QTest::keyClicks(&box.editor, "c");
        QCOMPARE(box.edits.size(), std::size_t(2));
        QCOMPARE(box.edits.back(), typed);
        QCOMPARE(box.editor.Code(), typed);
    }
}

// Colouring never touches the text: an edit undone by hand gives back the very same bytes.
void CodeEditorTest::HighlightingKeepsBytes() {
    for (const std::string& bytes : {std::string(kDefaultCode), BinaryText(),
                                     std::string("a // 'x'\nS1 := GSample( 'q' , $1F )\n"),
                                     std::string("\xC2\xA0\xE2\x80\xA8 caf\xC3\xA9")}) {
        Box box;
        box.editor.SetCode(bytes);
        box.editor.Highlighter()->rehighlight();
        box.TypeAtEnd("x");
        QTest::keyClick(&box.editor, Qt::Key_Backspace);
        QCOMPARE(box.edits.size(), std::size_t(2));
        QCOMPARE(box.edits.back(), bytes);
    }
}

void CodeEditorTest::Colours() {
    const std::string code(" GeneratorSampleMode( SM_ADD ); // set 'mode' 12\r\n"
                           " Result:=createsample( $1F , -1.5e3 );\r\n"
                           "\tResult := GSample( 'a // b' , x12 , 7up , fg_sin , s1 );");
    const std::string more("S1 := GSample( 'x y' , 7up , -$10 , .5 , 3. , 1e , FG_SIN )");
    const int plain = -1;
    const struct {
        std::string bytes;
        QString needle; // the first place it occurs is checked
        int role;
    } cases[] = {
        {code, "GeneratorSampleMode", int(Role::Procedure)},
        {code, "SM_ADD", int(Role::Constant)},
        {code, "// set", int(Role::Comment)},
        {code, "'mode'", int(Role::Comment)},
        {code, ":=", plain},
        {code, "Result:", int(Role::Variable)},
        {code, "createsample", int(Role::Procedure)},
        {code, "$1F", int(Role::Number)},
        {code, "-1.5e3", int(Role::Number)},
        {code, "\tResult", plain},
        {code, "Result :=", plain}, // after the tab
        {code, "'a ", int(Role::String)},
        {code, "fg_sin", int(Role::Comment)}, // after a comment inside a string
        {more, "y'", int(Role::String)},
        {more, "7up", plain},
        {more, "-$10", plain},
        {more, ".5", int(Role::Number)},
        {more, "3.", int(Role::Number)},
        {more, "1e", plain},
        {more, "FG_SIN", int(Role::Constant)},
        // The compiler ends a comment at the next CR only.
        {"a // c\nS1\r\nS1", "S1", int(Role::Comment)},
        {"a // c\nb\r\nS1", "S1", int(Role::Variable)},
        {"a // c\rS1", "S1", int(Role::Variable)},
    };
    for (const auto& c : cases) {
        Box box;
        box.editor.SetCode(c.bytes);
        const int pos = int(box.editor.toPlainText().indexOf(c.needle));
        QVERIFY(pos >= 0);
        QVERIFY2(ColourAt(*box.editor.document(), pos) == RoleColour(c.role), qPrintable(c.needle));
    }
}

// In a text with LF and CR LF breaks a comment runs on over the LF; once edited, every break is
// a CR LF and the comment ends with its line.
void CodeEditorTest::CommentReachFollowsEditedBreaks() {
    Box box;
    box.editor.SetCode("a // c\nS1\r\nb");
    const QTextDocument& doc = *box.editor.document();
    QCOMPARE(ColourAt(doc, 7), RoleColour(int(Role::Comment)));
    box.TypeAtEnd("x");
    QCOMPARE(box.edits.back(), std::string("a // c\r\nS1\r\nbx"));
    QCOMPARE(ColourAt(doc, 7), RoleColour(int(Role::Variable)));
}

void CodeEditorTest::MarkErrorMarksTheLine() {
    Box box;
    box.editor.SetCode("A;\r\nB;\r\n  C( 1 );\r\nD;");
    box.editor.MarkError(10); // the C
    QCOMPARE(box.editor.textCursor().position(), 8);
    QCOMPARE(box.editor.textCursor().blockNumber(), 2);
    const QList<QTextEdit::ExtraSelection> marks = box.editor.extraSelections();
    QCOMPARE(marks.size(), 1);
    QCOMPARE(marks[0].cursor.blockNumber(), 2);
    QVERIFY(marks[0].format.property(QTextFormat::FullWidthSelection).toBool());
    QCOMPARE(marks[0].format.background().color(), QColor(255, 220, 220));
    box.editor.ClearErrorMark();
    QVERIFY(box.editor.extraSelections().isEmpty());
    box.editor.MarkError(10);
    box.editor.SetCode("A;");
    QVERIFY(box.editor.extraSelections().isEmpty());
    QVERIFY(box.edits.empty());
}

void CodeEditorTest::UndoHistory() {
    Box box;
    box.editor.SetCode(kDefaultCode);
    QVERIFY(!box.editor.UndoAvailable());
    box.TypeAtEnd("x");
    QVERIFY(box.editor.UndoAvailable());
    box.editor.undo();
    QCOMPARE(box.edits.back(), kDefaultCode);
    QVERIFY(box.editor.RedoAvailable());
    box.editor.SetCode("a");
    QVERIFY(!box.editor.UndoAvailable());
    QVERIFY(!box.editor.RedoAvailable());
}

void CodeEditorTest::TabMovesFocus() {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* editor = new CodeEditor;
    auto* next = new QLineEdit;
    layout->addWidget(editor);
    layout->addWidget(next);
    int focusIns = 0;
    editor->OnFocusIn = [&focusIns] { ++focusIns; };
    bool edited = false;
    editor->OnUserEdit = [&edited](std::string) { edited = true; };
    editor->SetCode(kDefaultCode);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    editor->setFocus();
    QVERIFY(editor->hasFocus());
    QCOMPARE(focusIns, 1);
    QTest::keyClick(editor, Qt::Key_Tab);
    QVERIFY(next->hasFocus());
    QVERIFY(!edited);
    QCOMPARE(editor->Code(), kDefaultCode);
}

QTEST_MAIN(CodeEditorTest)
#include "code_editor_test.moc"
