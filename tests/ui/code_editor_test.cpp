// The code box: the bridge between code bytes and shown text, the colouring, and the editor.
#include "ui/code_editor.h"
#include "ui/code_text.h"
#include "ui/script_highlighter.h"

#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>
#include <QtTest>

#include <functional>
#include <random>
#include <string>
#include <tuple>
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
        s += b == '\n' || b == '\r' ? std::string() : std::string(1, static_cast<char>(b));
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
    explicit Box(const std::string& code) {
        editor.Highlighter()->SetNames({"GENERATORSAMPLEMODE", "CREATESAMPLE", "GSAMPLE"},
                                       {"RESULT", "S1"}, {"SM_ADD", "FG_SIN"});
        editor.OnUserEdit = [this](std::string bytes) { edits.push_back(std::move(bytes)); };
        editor.SetCode(code);
    }
    void TypeAtEnd(const QString& keys) {
        editor.moveCursor(QTextCursor::End);
        QTest::keyClicks(&editor, keys);
    }
};

// Opens the box's context menu and, when its Paste is enabled, chooses it. Returns whether it
// was enabled.
bool PasteFromContextMenu(CodeEditor& editor) {
    bool enabled = false;
    QTimer::singleShot(0, [&enabled] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        auto* paste = menu->findChild<QAction*>(QStringLiteral("edit-paste"));
        QVERIFY(paste);
        enabled = paste->isEnabled();
        menu->close();
        if (enabled) {
            paste->trigger();
        }
    });
    const QPoint at(5, 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, editor.viewport()->mapToGlobal(at));
    QApplication::sendEvent(editor.viewport(), &event);
    return enabled;
}

// Every way the user pastes into the box: each key bound to Paste, the window's Edit menu (the
// box's paste slot, also reached as the text box's), and the context menu.
void PasteEveryWay(CodeEditor& editor) {
    for (const QKeySequence& keys : QKeySequence::keyBindings(QKeySequence::Paste)) {
        QTest::keySequence(&editor, keys);
    }
    editor.paste();
    static_cast<QPlainTextEdit&>(editor).paste();
    PasteFromContextMenu(editor);
}

// Types text as one key, as an input method may; a line break as Enter.
void Type(QWidget& widget, const QString& text) {
    if (text == "\n") {
        QTest::keyClick(&widget, Qt::Key_Return);
        return;
    }
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(&widget, &press);
}

} // namespace

class CodeEditorTest : public QObject {
    Q_OBJECT
  private slots:

    // Showing decodes as described, and converting the text back gives the same bytes; edited text
    // takes the remembered break, and Latin-1 writes '?' for what it cannot hold.
    void ShowsBytes() {
        const LineBreak crlf = LineBreak::CrLf;
        const std::tuple<std::string, QString, bool, LineBreak> cases[] = {
            {kDefaultCode, " GeneratorSampleMode( SM_ADD );\n Result:=CreateSample( 10000 , 1 );",
             false, crlf},
            {"a\rb", "a\nb", false, LineBreak::Cr},
            {"\xF0\x9F\x8E\xB5", QString::fromUtf16(u"\U0001F3B5"), false, crlf},
            // Not UTF-8: an overlong form, a cut sequence, a lone Latin-1 byte.
            {"\xC0\xAF", QString::fromUtf16(u"\u00C0\u00AF"), true, crlf},
            {"x\xE2\x82", QString::fromUtf16(u"x\u00E2\u0082"), true, crlf},
            {"a\xA0", QString::fromUtf16(u"a\u00A0"), true, crlf},
        };
        for (const auto& [bytes, text, latin1, lineBreak] : cases) {
            const ShownCode shown = ShowCode(bytes);
            QCOMPARE(shown.Text, text);
            QCOMPARE(shown.Form.Encoding == CodeEncoding::Latin1, latin1);
            QVERIFY(shown.Form.Break == lineBreak);
            QCOMPARE(CodeBytes(shown.Text, shown.Form), bytes);
        }
        const ShownCode mixed = ShowCode("a\r\nb\nc\rd"); // CR LF wins
        QCOMPARE(CodeBytes(mixed.Text, mixed.Form), std::string("a\r\nb\r\nc\r\nd"));
        const QString text = QString::fromUtf16(u"a\u0151\U0001F3B5\u00FF\nb");
        QCOMPARE(CodeBytes(text, {CodeEncoding::Latin1, LineBreak::Lf}), std::string("a??\xFF\nb"));
    }

    void Positions() {
        // The byte position, the shown position and the line.
        const std::tuple<std::string, int, int, int> cases[] = {
            {kDefaultCode, 31, 31, 1}, // the CR
            {kDefaultCode, 32, 31, 1}, // the LF of CR LF
            {"a\nb\r\nc\rd", 7, 6, 4},   {kDefaultCode, -1, 0, 1},
            {kDefaultCode, 1000, 67, 2}, {"\xC3\xA9\r\nX", 1, 0, 1}, // inside a UTF-8 character
            {BinaryText(), 255, 254, 2},
        };
        for (const auto& [bytes, bytePos, position, line] : cases) {
            const ShownCode shown = ShowCode(bytes);
            QCOMPARE(ShownPosition(bytes, shown.Text, shown.Form.Encoding, bytePos), position);
            QCOMPARE(LineOfByte(bytes, bytePos), line);
        }
        // A '?' written for an unknown character stands for one character: positions still meet.
        QCOMPARE(ShownPosition("\xFF\xFE?\r\nX", QString::fromUtf16(u"\u00FF\u00FE\U0001F3B5\nX"),
                               CodeEncoding::Latin1, 5),
                 5);
    }

    // Typing reports the whole code in the form the text came with; colouring never touches the
    // text, and setting the code, colouring it or marking an error reports nothing: an edit
    // undone by hand gives back the very same bytes, in two reports.
    void TypingReportsTheSameBytesAndSetCodeNothing() {
        for (const std::string& bytes :
             {BinaryText(), std::string("\xC2\xA0\xE2\x80\xA8 caf\xC3\xA9"), std::string("a\nb")}) {
            Box box(bytes);
            box.editor.Highlighter()->SetNames({"X"}, {}, {});
            box.editor.MarkError(1);
            box.TypeAtEnd("x");
            QTest::keyClick(&box.editor, Qt::Key_Backspace);
            QCOMPARE(box.edits.size(), std::size_t(2));
            QCOMPARE(box.edits.back(), bytes);
        }
    }

    void Colours() {
        const std::string code(" GeneratorSampleMode( SM_ADD ); // set 12\r\n"
                               "S1 := GSample( $1F , -1.5e3 , 1e , 'a // b' , fg_sin )");
        // The code, a text whose first place in it is checked, and its colour.
        const std::tuple<std::string, QString, int> cases[] = {
            {code, "GeneratorSampleMode", int(Role::Procedure)},
            {code, "SM_ADD", int(Role::Constant)},
            {code, "S1", int(Role::Variable)},
            {code, "'a ", int(Role::String)},
            {code, "-1.5e3", int(Role::Number)},
            {code, "1e ", -1},                    // not a number
            {code, "fg_sin", int(Role::Comment)}, // after a comment inside a string
            // The compiler ends a comment at the next CR only.
            {"a // c\nS1\r\nS1", "S1", int(Role::Comment)},
            {"a // c\rS1", "S1", int(Role::Variable)},
        };
        for (const auto& [bytes, needle, role] : cases) {
            Box box(bytes);
            const int pos = int(box.editor.toPlainText().indexOf(needle));
            QVERIFY2(ColourAt(*box.editor.document(), pos) == RoleColour(role), qPrintable(needle));
        }
        // Once edited, every break is a CR LF and the comment ends with its line.
        Box box("a // c\nS1\nS1\r\nb");
        box.TypeAtEnd("x");
        QCOMPARE(ColourAt(*box.editor.document(), 10), RoleColour(int(Role::Variable)));
    }

    // Pasting with an empty clipboard, or one whose data holds no text, does nothing and never
    // crashes, whichever way the paste comes.
    void PastingNothingDoesNothing() {
        Box box("A;");
        box.editor.show();
        box.TypeAtEnd("");
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        PasteEveryWay(box.editor);
        clipboard->setMimeData(new QMimeData);
        PasteEveryWay(box.editor);
        QVERIFY(!PasteFromContextMenu(box.editor));
        auto* picture = new QMimeData;
        picture->setData("image/png", QByteArray("\x89PNG"));
        clipboard->setMimeData(picture);
        PasteEveryWay(box.editor);
        QVERIFY(box.edits.empty());
        QCOMPARE(box.editor.Code(), std::string("A;"));
    }

    // Pasted text goes in at the caret as typed text does, in the code's form, as plain text
    // without its formatting; a zero character, which would cut the stored code short, is left
    // out. Each paste is one step of the typing history.
    void PastingTextGoesInAsTyped() {
        Box box("A;\r\nB;");
        box.editor.show();
        box.TypeAtEnd("");
        QGuiApplication::clipboard()->setText(QString::fromUtf16(u"x\r\ny\u00E9") + QChar(0) + "z");
        QTest::keyClick(&box.editor, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(box.edits.back(), std::string("A;\r\nB;x\r\ny\xC3\xA9z"));
        auto* rich = new QMimeData;
        rich->setHtml("<b>bold</b>");
        rich->setText(" S1");
        QGuiApplication::clipboard()->setMimeData(rich);
        QVERIFY(PasteFromContextMenu(box.editor));
        QCOMPARE(box.edits.back(), std::string("A;\r\nB;x\r\ny\xC3\xA9z S1"));
        QTextCursor pasted(box.editor.document());
        pasted.setPosition(box.editor.document()->characterCount() - 1);
        QCOMPARE(pasted.charFormat().fontWeight(), int(QFont::Normal));
        box.editor.selectAll();
        box.editor.paste(); // the Edit menu's Paste replaces the selection
        QCOMPARE(box.edits.back(), std::string(" S1"));
        box.editor.undo();
        box.editor.undo();
        QCOMPARE(box.edits.back(), std::string("A;\r\nB;x\r\ny\xC3\xA9z"));
        QCOMPARE(box.edits.size(), std::size_t(5));
    }

    // The bytes the box keeps through a long run of edits anywhere in the text (typed keys,
    // lines added and joined, pastes, undo and redo, and edits of the document itself, such as
    // an input method's, which may add a character half by half) are always those of the whole
    // text it shows, in CR LF, LF and Latin-1 code alike, from mixed breaks.
    void BytesFollowEveryEdit() {
        const std::string starts[] = {kDefaultCode, "a\nb // c\nd", BinaryText(),
                                      "a\nb\r\nc // x\nd\re"};
        const QString pieces[] = {
            "x", "\u00E9", "S1 ", "//", "\n", "a\r\nb", QString::fromUtf16(u"\U0001F3B5")};
        std::mt19937 random(20);
        for (const std::string& start : starts) {
            Box box(start);
            CodeEditor& e = box.editor;
            QTextDocument& document = *e.document();
            QTextCursor cursor;
            QString piece;
            const std::function<void()> edits[] = {
                [&] { Type(e, piece); },
                [&] { QTest::keyClick(&e, Qt::Key_Backspace); },
                [&] { QTest::keyClick(&e, Qt::Key_Delete); },
                [&] { (QGuiApplication::clipboard()->setText(piece), e.paste()); },
                [&] { e.undo(); },
                [&] { e.redo(); },
                [&] {
                    for (const QChar unit : piece) {
                        cursor.insertText(unit);
                    }
                },
            };
            for (int step = 0; step < 300; ++step) {
                cursor = e.textCursor();
                cursor.setPosition(int(random() % unsigned(document.characterCount())));
                e.setTextCursor(cursor);
                piece = pieces[random() % std::size(pieces)];
                edits[random() % std::size(edits)]();
                // Once edited, the bytes of the whole text the box shows.
                QCOMPARE(e.Code(),
                         box.edits.empty() ? start : CodeBytes(DocumentText(document), e.Form()));
                QVERIFY(box.edits.empty() || box.edits.back() == e.Code());
            }
            QVERIFY(box.edits.size() > 100);
        }
    }

    void MarkErrorAndUndoHistory() {
        Box box("A;\r\nB;\r\n  C( 1 );\r\nD;");
        box.editor.MarkError(10); // the C
        QCOMPARE(box.editor.textCursor().position(), 8);
        QCOMPARE(box.editor.extraSelections().at(0).cursor.blockNumber(), 2);
        box.TypeAtEnd("x");
        box.editor.undo();
        QCOMPARE(box.edits.back(), std::string("A;\r\nB;\r\n  C( 1 );\r\nD;"));
        QVERIFY(box.editor.RedoAvailable());
        box.editor.MarkError(10);
        box.editor.SetCode("a"); // a new text has no history and no mark
        QVERIFY(!box.editor.RedoAvailable() && !box.editor.UndoAvailable());
        QVERIFY(box.editor.extraSelections().isEmpty());
    }
};

QTEST_MAIN(CodeEditorTest)
#include "code_editor_test.moc"
