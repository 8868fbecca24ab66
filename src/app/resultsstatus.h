#pragma once
// The line under the results that counts them: how many, in how many files,
// how many files could not be read, and how many a filter shows.

#include <QString>
#include <QtGlobal>

namespace qm {

struct ResultsCount {
    qint64 results = 0;     // rows in the list
    qint64 shown = 0;       // rows the filter lets through
    bool filtered = false;  // a filter is in effect
    int files = 0;          // files with results
    bool running = false;   // a search is adding rows
    bool ended = false;     // a search ended: the fields below are known
    bool stopped = false;   // it was stopped before the end
    int searched = 0;       // files searched
    int listed = 0;         // files listed when it started
    int unreadable = 0;     // files that could not be read
};

struct ResultsStatusText {
    QString count;       // "1,902 results in 97 files"
    QString unreadable;  // "22 files could not be read"; empty when none
};
ResultsStatusText resultsStatusText(const ResultsCount& c);

// Said while an export takes the rows a sort or a filter shows.
QString savingShownText(qint64 shown, qint64 results);

}  // namespace qm
