#pragma once

#include <QString>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class QTextDocument;

namespace kellix {

// Instrument code is 8-bit text, stored and saved byte for byte; the code box shows it as
// Unicode text with '\n' for every line break. These routines go between the two.

enum class CodeEncoding { Utf8, Latin1 };
enum class LineBreak { CrLf, Lf, Cr };

// How a code text's bytes are written: the encoding its characters were read with, and the
// line break that every break of an edited text gets.
struct CodeTextForm {
    CodeEncoding Encoding = CodeEncoding::Utf8;
    LineBreak Break = LineBreak::CrLf;
};

struct ShownCode {
    QString Text; // '\n' for every line break
    CodeTextForm Form;
    // One entry per line break, in order: whether the break holds a CR. The script compiler
    // ends a comment at the next CR only, so a comment runs on across breaks without one.
    std::vector<bool> BreakHasCr;
};

// Reads the bytes as UTF-8 when they are valid UTF-8 (and hold no character the text box
// would take for a paragraph break), else as Latin-1. CR LF, lone LF and lone CR each become
// one '\n'. The form's line break is CR LF when the text has a CR LF or no break at all (Enter
// in the box writes CR LF), else LF when it has lone LFs, else CR.
ShownCode ShowCode(std::string_view bytes);

// The bytes of a shown text: each '\n' becomes the form's line break, the other characters
// are encoded in the form's encoding; a character Latin-1 cannot hold becomes '?'. Showing
// the result again gives the same text, except for those '?'.
std::string CodeBytes(const QString& shown, const CodeTextForm& form);

// The text a document holds, its blocks joined by '\n', without the changes toPlainText makes
// (it turns no-break spaces into spaces).
QString DocumentText(const QTextDocument& document);
// The same for count characters from position pos (a block's end counts one, the '\n').
QString DocumentText(const QTextDocument& document, int pos, int count);

// A shown text and its bytes, kept in step through edits. Once the first edit has given every
// break the form's kind, Bytes is CodeBytes(Text, Form); an edit then costs the lines it
// touches and the way to them from the previous edit, not the whole text.
struct EditedCode {
    QString Text;
    std::string Bytes;
    CodeTextForm Form;
    // The start of a line of Text and where its bytes start: the previous edit's line.
    qsizetype MarkLine = 0;
    std::size_t MarkByte = 0;
};

// Replaces removed characters of code.Text at pos by added, and the bytes of the lines they
// touch (a line break never splits a character, so the lines' bytes are their own).
void ReplaceText(EditedCode& code, qsizetype pos, qsizetype removed, QStringView added);

// The position in the shown text of the character that holds the byte at bytePos, where the
// shown text is ShowCode(bytes).Text or the text that CodeBytes turned into bytes. An offset
// inside a character or inside a CR LF gives the character's (the break's) position; offsets
// before the start give 0, past the end the text's length.
int ShownPosition(std::string_view bytes, const QString& shown, CodeEncoding encoding,
                  std::ptrdiff_t bytePos);

// The 1-based number of the shown line that holds the byte at bytePos (clamped to the text).
int LineOfByte(std::string_view bytes, std::ptrdiff_t bytePos);

} // namespace kellix
