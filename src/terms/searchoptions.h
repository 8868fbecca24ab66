#pragma once
// What to look for and how: a snapshot of the search controls.

#include <QString>
#include <QStringList>

#include "text/sources.h"

namespace qm {

enum class SearchMode { None, Single, Multiple };  // None: neither option selected
enum class CaseMode { MatchCase, IgnoreCase };

// A phrase of spaces (U+0020) only, or the empty phrase: nothing to search
// for. A tab, a line end or any other character is text.
inline bool isBlankPhrase(const QString& phrase) {
    for (const QChar c : phrase)
        if (c != u' ') return false;
    return true;
}

// How a phrase is compared with a text, for the searcher.
struct MatchRules {
    CaseMode caseMode = CaseMode::IgnoreCase;
    bool loose = false;          // white space, ligatures and soft hyphens tolerated
    bool wholeWords = false;     // no letter, digit or underscore right before or after
    bool ignoreAccents = false;  // compared without accents (é as e, ø as o, ß as ss)
    bool regex = false;          // every phrase is a Perl-compatible pattern
};

struct SearchOptions {
    QString singlePhrase;  // the one phrase, exactly as typed
    QStringList findSets;  // the find-set list's entries in order
    SearchMode mode = SearchMode::Single;
    CaseMode caseMode = CaseMode::IgnoreCase;
    bool promptForPassword = false;  // ask for a password for every file
    bool loose = false;              // white space, ligatures and soft hyphens tolerated
    bool wholeWords = false;
    bool ignoreAccents = false;
    bool regex = false;
    // The texts searched: the pages' text and, on request, the texts beside them.
    TextSources sources = kPageText;

    MatchRules rules() const { return {caseMode, loose, wholeWords, ignoreAccents, regex}; }

    // The phrases a file is searched for, in order: the single phrase, or every
    // find-set entry; empty entries are left out (they would match everywhere).
    QStringList phrases() const {
        QStringList out;
        if (mode == SearchMode::Single) {
            if (!singlePhrase.isEmpty()) out << singlePhrase;
        } else if (mode == SearchMode::Multiple) {
            for (const QString& p : findSets)
                if (!p.isEmpty()) out << p;
        }
        return out;
    }
};

}  // namespace qm
