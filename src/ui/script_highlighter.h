#pragma once

#include "script/ident.h"

#include <QHash>
#include <QStringList>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

#include <cstdint>
#include <vector>

namespace kellix {

// The names a script can use, upper case, sorted by what they are.
struct ScriptNames {
    QStringList Procedures; // procedures and functions (and inert names)
    QStringList Variables;  // RESULT, WAV, S1..S8
    QStringList Constants;  // SM_*, FG_* and the library's constants
};

// The names of an identifier table (IdentTable, IdentCount once scripts are set up). Where a
// name occurs twice the first entry decides, as it does for the compiler.
ScriptNames NamesOfTable(const IdentEntry* entries, int32_t count);

// Colours instrument code the way the compiler reads it: comments from "//" on (inside strings
// too, since comments go first), strings in apostrophes, numbers, and the known names. Tokens
// are the text between the compiler's separators, compared after upper-casing a..z only, so a
// tab-indented name (tab is no separator) stays plain, as the compiler does not know it.
class ScriptHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
  public:
    enum class Role { Comment, String, Number, Procedure, Variable, Constant };

    explicit ScriptHighlighter(QTextDocument* document);

    // The known names, upper case. A name in more than one list takes the first.
    void SetNames(const QStringList& procedures, const QStringList& variables,
                  const QStringList& constants);
    void SetNames(const ScriptNames& names);

    // Whether each shown line's break holds a CR (line 0 first), and what the lines past the
    // list have. The compiler ends a comment at the next CR, so in LF text it swallows the
    // lines after it; the colours show that. Colours again the lines whose colours can change.
    void SetCrBreaks(std::vector<bool> lineEndsWithCr, bool laterLinesEndWithCr);
    // The same for the text about to be set, which is coloured as it is set.
    void SetCrBreaksOfNextText(std::vector<bool> lineEndsWithCr, bool laterLinesEndWithCr);

    static QTextCharFormat Format(Role role);

  protected:
    void highlightBlock(const QString& text) override;

  private:
    bool EndsWithCr(int line) const;

    QHash<QString, Role> names_;
    std::vector<bool> crBreaks_;
    bool crDefault_ = true;
};

} // namespace kellix
