// The find-set list on any bytes: a phrase list file loaded as "Load" does,
// and the stored form of the list split and joined again.
//
// Input: a byte, whose bit 0 fills the list nearly full first, then the file's
// bytes (also read as the stored text).

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>

#include "fuzzsupport.h"
#include "terms/findsets.h"
#include "text/error.h"

namespace {

using qm::fuzz::require;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const QString path = qm::fuzz::writeScratch("list", data + 1, size - 1);

    static const QStringList nearlyFull = [] {
        QStringList l;
        for (int i = 0; i < qm::kMaxFindSets - 3; ++i) l << QStringLiteral("p");
        return l;
    }();
    QStringList list = (data[0] & 1) ? nearlyFull : QStringList{QStringLiteral("first")};
    const qsizetype before = list.size();
    bool found = true;
    try {
        found = qm::loadPhraseList(list, path);
    } catch (const qm::Error&) {
        require(list.size() <= qm::kMaxFindSets, "a refused load keeps the bound");
    }
    require(found, "an existing file is never \"File not found\"");
    require(list.size() >= before && list.size() <= qm::kMaxFindSets, "the list stays bounded");
    for (qsizetype i = before; i < list.size(); ++i)
        require(!qm::isBlankLine(list[i]) && !list[i].contains(u'\n'),
                "only lines with more than blanks are added");

    const QString stored = QString::fromUtf8(reinterpret_cast<const char*>(data + 1),
                                             static_cast<qsizetype>(size - 1));
    const QStringList entries = qm::splitFindSets(stored);
    for (const QString& e : entries) require(!e.isEmpty(), "no empty entry comes back");
    require(qm::splitFindSets(qm::joinFindSets(entries)) == entries,
            "a split list is stored and read back unchanged");
    return 0;
}
