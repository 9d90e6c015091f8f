#include "code_text.h"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

namespace kellix {

namespace {

uint8_t ByteAt(std::string_view bytes, std::size_t i) {
    return static_cast<uint8_t>(bytes[i]);
}

// The length of the well-formed UTF-8 sequence at i and its code point, or 0 when the bytes
// there are no well-formed sequence (overlong forms, surrogates and values past U+10FFFF are
// not).
int Utf8Sequence(std::string_view bytes, std::size_t i, char32_t& cp) {
    const uint8_t lead = ByteAt(bytes, i);
    int length = 0;
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + static_cast<std::size_t>(length) > bytes.size()) {
        return 0;
    }
    for (int k = 1; k < length; ++k) {
        const uint8_t b = ByteAt(bytes, i + static_cast<std::size_t>(k));
        if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) {
            return 0;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    return length;
}

// Characters a text document always takes for a paragraph break: text holding them could not
// come back unchanged.
bool BreaksParagraph(char32_t cp) {
    return cp == 0x2029 || cp == 0xFDD0 || cp == 0xFDD1;
}

void AppendCodePoint(QString& text, char32_t cp) {
    if (cp >= 0x10000) {
        text.append(QChar(QChar::highSurrogate(cp)));
        text.append(QChar(QChar::lowSurrogate(cp)));
    } else {
        text.append(QChar(static_cast<char16_t>(cp)));
    }
}

// Decodes the bytes, line breaks made '\n'; false when they are no UTF-8 the box can hold.
bool Decode(std::string_view bytes, CodeEncoding encoding, ShownCode& out) {
    out.Text.clear();
    out.Text.reserve(static_cast<qsizetype>(bytes.size()));
    out.BreakHasCr.clear();
    bool crlf = false;
    bool lf = false;
    for (std::size_t i = 0; i < bytes.size();) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            const bool pair = c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n';
            crlf = crlf || pair;
            lf = lf || c == '\n';
            out.Text.append(QChar(u'\n'));
            out.BreakHasCr.push_back(c == '\r');
            i += pair ? 2 : 1;
            continue;
        }
        if (encoding == CodeEncoding::Latin1) {
            out.Text.append(QChar(static_cast<char16_t>(ByteAt(bytes, i))));
            ++i;
            continue;
        }
        char32_t cp = 0;
        const int length = Utf8Sequence(bytes, i, cp);
        if (length == 0 || BreaksParagraph(cp)) {
            return false;
        }
        AppendCodePoint(out.Text, cp);
        i += static_cast<std::size_t>(length);
    }
    out.Form.Encoding = encoding;
    if (crlf || out.BreakHasCr.empty()) {
        out.Form.Break = LineBreak::CrLf;
    } else {
        out.Form.Break = lf ? LineBreak::Lf : LineBreak::Cr;
    }
    return true;
}

// The next character of a shown text at i: its code point and how many UTF-16 units it takes.
// A lone surrogate stands for itself.
char32_t CodePointAt(QStringView text, qsizetype i, int& units) {
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
        units = 2;
        return QChar::surrogateToUcs4(c, text.at(i + 1));
    }
    units = 1;
    return c.unicode();
}

// How many bytes CodeBytes writes for a character other than '\n'.
std::size_t EncodedLength(char32_t cp, CodeEncoding encoding) {
    if (encoding == CodeEncoding::Latin1 || QChar::isSurrogate(cp)) {
        return 1; // the character itself or '?'
    }
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

std::size_t BreakLength(LineBreak lineBreak) {
    return lineBreak == LineBreak::CrLf ? 2 : 1;
}

void AppendBytes(std::string& bytes, QStringView shown, const CodeTextForm& form) {
    const char* const lineBreak = form.Break == LineBreak::CrLf ? "\r\n"
                                  : form.Break == LineBreak::Lf ? "\n"
                                                                : "\r";
    for (qsizetype i = 0; i < shown.size();) {
        int units = 1;
        const char32_t cp = CodePointAt(shown, i, units);
        i += units;
        if (cp == u'\n') {
            bytes += lineBreak;
        } else if (form.Encoding == CodeEncoding::Latin1 || QChar::isSurrogate(cp)) {
            bytes += cp <= 0xFF ? static_cast<char>(cp) : '?';
        } else if (cp < 0x80) {
            bytes += static_cast<char>(cp);
        } else if (cp < 0x800) {
            bytes += static_cast<char>(0xC0 | (cp >> 6));
            bytes += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            bytes += static_cast<char>(0xE0 | (cp >> 12));
            bytes += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (cp >> 18));
            bytes += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
}

// How many bytes CodeBytes writes for the text.
std::size_t EncodedSize(QStringView shown, const CodeTextForm& form) {
    std::size_t size = 0;
    for (qsizetype i = 0; i < shown.size();) {
        int units = 1;
        const char32_t cp = CodePointAt(shown, i, units);
        i += units;
        size += cp == u'\n' ? BreakLength(form.Break) : EncodedLength(cp, form.Encoding);
    }
    return size;
}

// Where the bytes of the line starting at pos start: counted from the nearest of the text's
// start, the mark and the text's end.
std::size_t ByteOfLine(const EditedCode& code, qsizetype pos) {
    const QStringView text(code.Text);
    const qsizetype mark = code.MarkLine;
    const qsizetype toEnd = text.size() - pos;
    if (pos >= mark) {
        return pos - mark <= toEnd
                   ? code.MarkByte + EncodedSize(text.mid(mark, pos - mark), code.Form)
                   : code.Bytes.size() - EncodedSize(text.mid(pos), code.Form);
    }
    return pos <= mark - pos ? EncodedSize(text.first(pos), code.Form)
                             : code.MarkByte - EncodedSize(text.mid(pos, mark - pos), code.Form);
}

} // namespace

ShownCode ShowCode(std::string_view bytes) {
    ShownCode shown;
    if (!Decode(bytes, CodeEncoding::Utf8, shown)) {
        Decode(bytes, CodeEncoding::Latin1, shown);
    }
    return shown;
}

std::string CodeBytes(const QString& shown, const CodeTextForm& form) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(shown.size()) + 16);
    AppendBytes(bytes, shown, form);
    return bytes;
}

QString DocumentText(const QTextDocument& document) {
    QString text;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block != document.begin()) {
            text.append(QChar(u'\n'));
        }
        text.append(block.text());
    }
    return text;
}

QString DocumentText(const QTextDocument& document, int pos, int count) {
    QString text;
    text.reserve(count);
    for (QTextBlock block = document.findBlock(pos); block.isValid() && count > 0;
         block = block.next()) {
        const QString line = block.text();
        const int take = std::min(count, static_cast<int>(line.size()) - (pos - block.position()));
        text.append(QStringView(line).mid(pos - block.position(), take));
        pos += take;
        count -= take;
        if (count > 0) {
            text.append(QChar(u'\n'));
            ++pos;
            --count;
        }
    }
    return text;
}

void ReplaceText(EditedCode& code, qsizetype pos, qsizetype removed, QStringView added) {
    const QStringView text(code.Text);
    const qsizetype lineStart = pos == 0 ? 0 : code.Text.lastIndexOf(u'\n', pos - 1) + 1;
    qsizetype lineEnd = code.Text.indexOf(u'\n', pos + removed);
    if (lineEnd < 0) {
        lineEnd = text.size();
    }
    const std::size_t byteStart = ByteOfLine(code, lineStart);
    const std::size_t oldSize = EncodedSize(text.mid(lineStart, lineEnd - lineStart), code.Form);
    // Encoded in one piece: a character's two halves may meet at pos.
    QString lines = text.mid(lineStart, pos - lineStart).toString();
    lines.append(added);
    lines.append(text.mid(pos + removed, lineEnd - pos - removed));
    std::string bytes;
    AppendBytes(bytes, lines, code.Form);
    code.Bytes.replace(byteStart, oldSize, bytes);
    code.Text.replace(pos, removed, added.data(), added.size());
    code.MarkLine = lineStart;
    code.MarkByte = byteStart;
}

int ShownPosition(std::string_view bytes, const QString& shown, CodeEncoding encoding,
                  std::ptrdiff_t bytePos) {
    const std::size_t target = static_cast<std::size_t>(
        std::clamp<std::ptrdiff_t>(bytePos, 0, std::ptrdiff_t(bytes.size())));
    // Walks both texts together, so that each break takes the bytes it really has.
    std::size_t b = 0;
    qsizetype i = 0;
    while (i < shown.size() && b < target) {
        int units = 1;
        const char32_t cp = CodePointAt(shown, i, units);
        std::size_t length = EncodedLength(cp, encoding);
        if (cp == u'\n') {
            length = b + 1 < bytes.size() && bytes[b] == '\r' && bytes[b + 1] == '\n' ? 2 : 1;
        }
        if (b + length > target) {
            break;
        }
        b += length;
        i += units;
    }
    return static_cast<int>(i);
}

int LineOfByte(std::string_view bytes, std::ptrdiff_t bytePos) {
    const std::size_t target = static_cast<std::size_t>(
        std::clamp<std::ptrdiff_t>(bytePos, 0, std::ptrdiff_t(bytes.size())));
    int line = 1;
    for (std::size_t i = 0; i < target; ++i) {
        const char c = bytes[i];
        // The LF of a CR LF belongs to the break its CR started.
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            if (i + 1 < target) {
                ++line;
            }
            ++i;
        } else if (c == '\r' || c == '\n') {
            ++line;
        }
    }
    return line;
}

} // namespace kellix
