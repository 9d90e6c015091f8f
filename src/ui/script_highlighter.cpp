#include "script_highlighter.h"

#include <QColor>
#include <QFont>
#include <QSet>
#include <QTextBlock>
#include <QTextDocument>

#include <utility>

namespace kellix {

namespace {

// Block states: a comment whose line break holds no CR runs on into the next line.
constexpr int kPlain = 0;
constexpr int kCommentRunsOn = 1;

// The compiler's separators; a line of the box holds no LF or CR.
bool IsSeparator(QChar c) {
    switch (c.unicode()) {
    case u' ':
    case u'/':
    case u'(':
    case u')':
    case u',':
    case u':':
    case u';':
    case u'=':
    case u'\'':
    case u'\n':
    case u'\r':
        return true;
    default:
        return false;
    }
}

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

bool IsHexDigit(QChar c) {
    return IsDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Whole tokens the compiler reads as numbers: "$" and hex digits, or a decimal or float with
// an optional sign, "." fraction and exponent.
bool IsNumber(QStringView t) {
    qsizetype i = 0;
    const qsizetype n = t.size();
    if (n > 1 && t[0] == u'$') {
        for (i = 1; i < n && IsHexDigit(t[i]); ++i) {
        }
        return i == n;
    }
    if (i < n && (t[i] == u'+' || t[i] == u'-')) {
        ++i;
    }
    qsizetype digits = 0;
    for (; i < n && IsDigit(t[i]); ++i) {
        ++digits;
    }
    if (i < n && t[i] == u'.') {
        for (++i; i < n && IsDigit(t[i]); ++i) {
            ++digits;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (i < n && (t[i] == u'E' || t[i] == u'e')) {
        ++i;
        if (i < n && (t[i] == u'+' || t[i] == u'-')) {
            ++i;
        }
        const qsizetype start = i;
        for (; i < n && IsDigit(t[i]); ++i) {
        }
        if (i == start) {
            return false;
        }
    }
    return i == n;
}

// Upper-cases a..z only, as the compiler does.
QString UpperAscii(QStringView t) {
    QString up = t.toString();
    for (QChar& c : up) {
        if (c >= u'a' && c <= u'z') {
            c = QChar(c.unicode() - 32);
        }
    }
    return up;
}

QTextCharFormat Coloured(const char* colour, bool bold = false, bool italic = false) {
    QTextCharFormat format;
    format.setForeground(QColor(colour));
    if (bold) {
        format.setFontWeight(QFont::Bold);
    }
    format.setFontItalic(italic);
    return format;
}

} // namespace

ScriptNames NamesOfTable(const IdentEntry* entries, int32_t count) {
    ScriptNames names;
    QSet<QString> seen;
    for (int32_t i = 0; entries && i < count; ++i) {
        const IdentEntry& e = entries[i];
        if (!UsableEntry(e)) {
            continue;
        }
        const char* entryName = e.EntryName; // a packed field: read it once, unaligned
        const QString name = QString::fromLatin1(entryName);
        if (seen.contains(name)) {
            continue;
        }
        seen.insert(name);
        if (e.Kind == kIdentVariable) {
            names.Variables.append(name);
        } else if (e.Kind == kIdentConstant) {
            names.Constants.append(name);
        } else {
            names.Procedures.append(name);
        }
    }
    return names;
}

ScriptHighlighter::ScriptHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {}

void ScriptHighlighter::SetNames(const QStringList& procedures, const QStringList& variables,
                                 const QStringList& constants) {
    names_.clear();
    const std::pair<const QStringList*, Role> lists[] = {
        {&procedures, Role::Procedure}, {&variables, Role::Variable}, {&constants, Role::Constant}};
    for (const auto& [list, role] : lists) {
        for (const QString& name : *list) {
            names_.insert(name, names_.value(name, role));
        }
    }
    rehighlight();
}

void ScriptHighlighter::SetNames(const ScriptNames& names) {
    SetNames(names.Procedures, names.Variables, names.Constants);
}

void ScriptHighlighter::SetCrBreaks(std::vector<bool> lineEndsWithCr, bool laterLinesEndWithCr) {
    std::vector<bool> before = std::exchange(crBreaks_, std::move(lineEndsWithCr));
    const bool defaultBefore = std::exchange(crDefault_, laterLinesEndWithCr);
    // A line's break matters only where a comment reaches it: it decides whether the comment
    // runs on. Colouring a line again goes on to the next as long as that changes.
    QTextDocument* text = document();
    int line = 0;
    for (QTextBlock block = text ? text->begin() : QTextBlock(); block.isValid();
         block = block.next(), ++line) {
        const auto index = static_cast<std::size_t>(line);
        const bool crBefore = index < before.size() ? before[index] : defaultBefore;
        if (crBefore != EndsWithCr(line) && (block.previous().userState() == kCommentRunsOn ||
                                             block.text().contains(QStringLiteral("//")))) {
            rehighlightBlock(block);
        }
    }
}

void ScriptHighlighter::SetCrBreaksOfNextText(std::vector<bool> lineEndsWithCr,
                                              bool laterLinesEndWithCr) {
    crBreaks_ = std::move(lineEndsWithCr);
    crDefault_ = laterLinesEndWithCr;
}

QTextCharFormat ScriptHighlighter::Format(Role role) {
    // Calm, dark tones that stay readable at 8 pt on white; made once, since every token of
    // every line takes one.
    static const QTextCharFormat formats[] = {
        Coloured("#5a7a5a", false, true), // Comment
        Coloured("#a14a1a"),              // String
        Coloured("#0f6e78"),              // Number
        Coloured("#1c4fa0"),              // Procedure
        Coloured("#7a2f8f", true),        // Variable
        Coloured("#8a5a00"),              // Constant
    };
    return formats[static_cast<int>(role)];
}

bool ScriptHighlighter::EndsWithCr(int line) const {
    return line >= 0 && static_cast<std::size_t>(line) < crBreaks_.size()
               ? crBreaks_[static_cast<std::size_t>(line)]
               : crDefault_;
}

void ScriptHighlighter::highlightBlock(const QString& text) {
    bool comment = previousBlockState() == kCommentRunsOn;
    qsizetype end = comment ? 0 : text.indexOf(QStringLiteral("//"));
    comment = comment || end >= 0;
    if (comment) {
        setFormat(static_cast<int>(end), static_cast<int>(text.size() - end),
                  Format(Role::Comment));
    } else {
        end = text.size();
    }
    setCurrentBlockState(comment && !EndsWithCr(currentBlock().blockNumber()) ? kCommentRunsOn
                                                                              : kPlain);

    for (qsizetype i = 0; i < end;) {
        if (text[i] == u'\'') {
            const qsizetype close = text.indexOf(u'\'', i + 1);
            const qsizetype stop = close >= 0 && close < end ? close + 1 : end;
            setFormat(static_cast<int>(i), static_cast<int>(stop - i), Format(Role::String));
            i = stop;
            continue;
        }
        if (IsSeparator(text[i])) {
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < end && !IsSeparator(text[j])) {
            ++j;
        }
        const QStringView token = QStringView(text).mid(i, j - i);
        const auto name = names_.constFind(UpperAscii(token));
        if (name != names_.cend()) {
            setFormat(static_cast<int>(i), static_cast<int>(j - i), Format(*name));
        } else if (IsNumber(token)) {
            setFormat(static_cast<int>(i), static_cast<int>(j - i), Format(Role::Number));
        }
        i = j;
    }
}

} // namespace kellix
