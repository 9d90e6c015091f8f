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

std::string Bytes(const QByteArray& a) {
    return std::string(a.constData(), static_cast<std::size_t>(a.size()));
}

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
    void ShowsBytes_data();
    void ShowsBytes();
    void EditedTextTakesTheRememberedBreak_data();
    void EditedTextTakesTheRememberedBreak();
    void Latin1CannotHoldBecomesQuestionMark();
    void Positions_data();
    void Positions();
    void NamesOfTableSortsByKind();
    void TypingReportsCrLf();
    void SetCodeReportsNothing();
    void LfTextEditedKeepsLf();
    void HighlightingKeepsBytes_data();
    void HighlightingKeepsBytes();
    void Colours_data();
    void Colours();
    void CommentReachFollowsEditedBreaks();
    void MarkErrorMarksTheLine();
    void UndoHistory();
    void TabMovesFocus();
};

void CodeEditorTest::ShowsBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("latin1");
    QTest::addColumn<int>("lineBreak");
    const int crlf = int(LineBreak::CrLf), lf = int(LineBreak::Lf), cr = int(LineBreak::Cr);
    QTest::newRow("default code")
        << QByteArray(kDefaultCode.c_str())
        << QString(" GeneratorSampleMode( SM_ADD );\n Result:=CreateSample( 10000 , 1 );") << false
        << crlf;
    QTest::newRow("empty") << QByteArray() << QString() << false << crlf;
    QTest::newRow("one line") << QByteArray("a;") << QString("a;") << false << crlf;
    QTest::newRow("lf") << QByteArray("a\nb\n") << QString("a\nb\n") << false << lf;
    QTest::newRow("cr") << QByteArray("a\rb") << QString("a\nb") << false << cr;
    QTest::newRow("utf-8") << QByteArray("caf\xC3\xA9") << QString::fromUtf16(u"caf\u00E9") << false
                           << crlf;
    QTest::newRow("4-byte utf-8") << QByteArray("\xF0\x9F\x8E\xB5")
                                  << QString::fromUtf16(u"\U0001F3B5") << false << crlf;
    QTest::newRow("latin-1") << QByteArray("caf\xE9") << QString::fromUtf16(u"caf\u00E9") << true
                             << crlf;
    QTest::newRow("overlong") << QByteArray("\xC0\xAF") << QString::fromUtf16(u"\u00C0\u00AF")
                              << true << crlf;
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80")
                               << QString::fromUtf16(u"\u00ED\u00A0\u0080") << true << crlf;
    QTest::newRow("cut sequence") << QByteArray("x\xE2\x82") << QString::fromUtf16(u"x\u00E2\u0082")
                                  << true << crlf;
    QTest::newRow("paragraph separator")
        << QByteArray("\xE2\x80\xA9") << QString::fromUtf16(u"\u00E2\u0080\u00A9") << true << crlf;
    QTest::newRow("no-break space")
        << QByteArray("a\xA0") << QString::fromUtf16(u"a\u00A0") << true << crlf;
}

// Showing decodes as described, and converting the text back gives the same bytes.
void CodeEditorTest::ShowsBytes() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, latin1);
    QFETCH(int, lineBreak);
    const ShownCode shown = ShowCode(Bytes(bytes));
    QCOMPARE(shown.Text, text);
    QCOMPARE(shown.Form.Encoding == CodeEncoding::Latin1, latin1);
    QCOMPARE(int(shown.Form.Break), lineBreak);
    QCOMPARE(CodeBytes(shown.Text, shown.Form), Bytes(bytes));
}

void CodeEditorTest::EditedTextTakesTheRememberedBreak_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("crlf wins") << QByteArray("a\r\nb\nc\rd") << QByteArray("a\r\nb\r\nc\r\nd");
    QTest::newRow("lf before cr") << QByteArray("a\rb\nc") << QByteArray("a\nb\nc");
    QTest::newRow("cr then crlf") << QByteArray("a\r\r\nb") << QByteArray("a\r\n\r\nb");
    QTest::newRow("lone crs") << QByteArray("\ra\r") << QByteArray("\ra\r");
}

void CodeEditorTest::EditedTextTakesTheRememberedBreak() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, written);
    const ShownCode shown = ShowCode(Bytes(bytes));
    QCOMPARE(CodeBytes(shown.Text, shown.Form), Bytes(written));
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

void CodeEditorTest::Positions_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("bytePos");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("line");
    const QByteArray code(kDefaultCode.c_str());
    QTest::newRow("first byte") << code << 0 << 0 << 1;
    QTest::newRow("the CR") << code << 31 << 31 << 1;
    QTest::newRow("the LF of CR LF") << code << 32 << 31 << 1;
    QTest::newRow("line 2 start") << code << 33 << 32 << 2;
    QTest::newRow("Result") << code << 34 << 33 << 2;
    QTest::newRow("before the start") << code << -1 << 0 << 1;
    QTest::newRow("past the end") << code << 1000 << 67 << 2;
    QTest::newRow("inside a utf-8 character") << QByteArray("\xC3\xA9\r\nX") << 1 << 0 << 1;
    QTest::newRow("after a utf-8 character") << QByteArray("\xC3\xA9\r\nX") << 4 << 2 << 2;
    QTest::newRow("after a 4-byte character") << QByteArray("\xF0\x9F\x8E\xB5X") << 4 << 2 << 1;
    QTest::newRow("latin-1") << QByteArray("\xE9\nX") << 2 << 2 << 2;
    QTest::newRow("mixed breaks") << QByteArray("a\nb\r\nc\rd") << 7 << 6 << 4;
    QTest::newRow("binary") << QByteArray(BinaryText().c_str()) << 255 << 254 << 2;
}

void CodeEditorTest::Positions() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, bytePos);
    QFETCH(int, position);
    QFETCH(int, line);
    const ShownCode shown = ShowCode(Bytes(bytes));
    QCOMPARE(ShownPosition(Bytes(bytes), shown.Text, shown.Form.Encoding, bytePos), position);
    QCOMPARE(LineOfByte(Bytes(bytes), bytePos), line);
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

void CodeEditorTest::TypingReportsCrLf() {
    Box box;
    box.editor.SetCode("");
    box.TypeAtEnd("ab");
    QTest::keyClick(&box.editor, Qt::Key_Return);
    QTest::keyClicks(&box.editor, "c");
    QCOMPARE(box.edits.size(), std::size_t(4));
    QCOMPARE(box.edits.back(), std::string("ab\r\nc"));
    QCOMPARE(box.editor.Code(), std::string("ab\r\nc"));
}

void CodeEditorTest::SetCodeReportsNothing() {
    Box box;
    box.editor.SetCode(kDefaultCode);
    box.editor.Highlighter()->rehighlight();
    box.editor.Highlighter()->SetNames({"X"}, {}, {});
    box.editor.MarkError(34);
    QVERIFY(box.edits.empty());
    QCOMPARE(box.editor.Code(), kDefaultCode);
    QCOMPARE(box.editor.toPlainText(), ShowCode(kDefaultCode).Text);
}

void CodeEditorTest::LfTextEditedKeepsLf() {
    Box box;
    box.editor.SetCode("a\nb");
    box.TypeAtEnd("");
    QTest::keyClick(&box.editor, Qt::Key_Return);
    QTest::keyClicks(&box.editor, "c");
    QCOMPARE(box.edits.back(), std::string("a\nb\nc"));
}

void CodeEditorTest::HighlightingKeepsBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("default code") << QByteArray(kDefaultCode.c_str());
    QTest::newRow("binary") << QByteArray(BinaryText().c_str());
    QTest::newRow("lf with a comment") << QByteArray("a // 'x'\nS1 := GSample( 'q' , $1F )\n");
    QTest::newRow("utf-8 and no-break space") << QByteArray("\xC2\xA0\xE2\x80\xA8 caf\xC3\xA9");
}

// Colouring never touches the text: an edit undone by hand gives back the very same bytes.
void CodeEditorTest::HighlightingKeepsBytes() {
    QFETCH(QByteArray, bytes);
    Box box;
    box.editor.SetCode(Bytes(bytes));
    box.editor.Highlighter()->rehighlight();
    box.TypeAtEnd("x");
    QTest::keyClick(&box.editor, Qt::Key_Backspace);
    QCOMPARE(box.edits.size(), std::size_t(2));
    QCOMPARE(box.edits.back(), Bytes(bytes));
}

void CodeEditorTest::Colours_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("needle"); // the first place it occurs is checked
    QTest::addColumn<int>("role");       // -1 plain
    const QByteArray code(" GeneratorSampleMode( SM_ADD ); // set 'mode' 12\r\n"
                          " Result:=createsample( $1F , -1.5e3 );\r\n"
                          "\tResult := GSample( 'a // b' , x12 , 7up , fg_sin , s1 );");
    QTest::newRow("procedure") << code << "GeneratorSampleMode" << int(Role::Procedure);
    QTest::newRow("constant") << code << "SM_ADD" << int(Role::Constant);
    QTest::newRow("comment") << code << "// set" << int(Role::Comment);
    QTest::newRow("string in a comment") << code << "'mode'" << int(Role::Comment);
    QTest::newRow("number in a comment") << code << "12" << int(Role::Comment);
    QTest::newRow("separator") << code << ":=" << -1;
    QTest::newRow("variable") << code << "Result:" << int(Role::Variable);
    QTest::newRow("lower case procedure") << code << "createsample" << int(Role::Procedure);
    QTest::newRow("hex") << code << "$1F" << int(Role::Number);
    QTest::newRow("float") << code << "-1.5e3" << int(Role::Number);
    QTest::newRow("tab-indented name") << code << "\tResult" << -1;
    QTest::newRow("after the tab") << code << "Result :=" << -1;
    QTest::newRow("string") << code << "'a " << int(Role::String);
    QTest::newRow("comment inside a string") << code << "// b'" << int(Role::Comment);
    QTest::newRow("after that comment") << code << "fg_sin" << int(Role::Comment);
    const QByteArray more("S1 := GSample( 'x y' , 7up , -$10 , .5 , 3. , 1e , FG_SIN )");
    QTest::newRow("quoted text") << more << "y'" << int(Role::String);
    QTest::newRow("not a number") << more << "7up" << -1;
    QTest::newRow("signed hex") << more << "-$10" << -1;
    QTest::newRow("fraction") << more << ".5" << int(Role::Number);
    QTest::newRow("trailing point") << more << "3." << int(Role::Number);
    QTest::newRow("bare exponent") << more << "1e" << -1;
    QTest::newRow("constant after a string") << more << "FG_SIN" << int(Role::Constant);
    // The compiler ends a comment at the next CR only.
    QTest::newRow("lf: comment runs on")
        << QByteArray("a // c\nS1\r\nS1") << "S1" << int(Role::Comment);
    QTest::newRow("lf: until a cr") << QByteArray("a // c\nb\r\nS1") << "S1" << int(Role::Variable);
    QTest::newRow("cr lf: comment ends")
        << QByteArray("a // c\r\nS1") << "S1" << int(Role::Variable);
    QTest::newRow("cr: comment ends") << QByteArray("a // c\rS1") << "S1" << int(Role::Variable);
}

void CodeEditorTest::Colours() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, needle);
    QFETCH(int, role);
    Box box;
    box.editor.SetCode(Bytes(bytes));
    const int pos = int(box.editor.toPlainText().indexOf(needle));
    QVERIFY(pos >= 0);
    QCOMPARE(ColourAt(*box.editor.document(), pos), RoleColour(role));
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
