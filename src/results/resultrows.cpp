#include "results/resultrows.h"

#include <iterator>

#include "text/error.h"

namespace qm {

QString ResultRows::columnTitle(int column) {
    if (column == 0) return QStringLiteral("Results (File)");
    if (column == 1) return QStringLiteral(" Where");
    throw Error(QStringLiteral("Invalid column number ") + QString::number(column) +
                QStringLiteral(" in the results list."));
}

const ResultRow& ResultRows::row(int r) const {
    if (r < 0 || r >= count())
        throw Error(QStringLiteral("Invalid row number ") + QString::number(r) +
                    QStringLiteral(" in the results list."));
    return rows_[static_cast<size_t>(r)];
}

ResultRow& ResultRows::row(int r) {
    return const_cast<ResultRow&>(static_cast<const ResultRows&>(*this).row(r));
}

void ResultRows::append(std::vector<ResultRow>& more) {
    rows_.insert(rows_.end(), std::make_move_iterator(more.begin()),
                 std::make_move_iterator(more.end()));
    more.clear();
}

}  // namespace qm
