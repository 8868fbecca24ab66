// What the command line gathers to search: phrase lists that hold no phrase.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdio>

#include "cli/console.h"
#include "cli/inputs.h"
#include "support/pdfmaker.h"

namespace qm::cli {
namespace {

// Catches lists of blank lines only searched for nothing, without a word
// (status 1, as if nothing was found).
TEST(Phrases, ListsWithoutAPhraseAreSaidWhenNothingElseIsSearchedFor) {
    QTemporaryDir dir;
    const QString blank = dir.filePath(QStringLiteral("blank.txt"));
    test::writeBytes(blank, " \n\t\n\n");
    struct Case {
        QStringList arguments;
        bool gathered;
    };
    const QString f = QStringLiteral("-f");
    const Case cases[] = {
        {{f, blank}, false},
        {{f, blank, f, blank}, false},
        {{f, blank, QStringLiteral("-e"), QStringLiteral("fox")}, true},
    };
    for (const Case& c : cases) {
        const ParseResult parsed = parseArguments(c.arguments + QStringList{QStringLiteral("a")});
        ASSERT_TRUE(parsed.ok()) << parsed.error.toStdString();
        std::FILE* err = std::tmpfile();
        ASSERT_NE(err, nullptr);
        Terminal terminal(err, false);
        QStringList phrases;
        EXPECT_EQ(collectPhrases(parsed.options, terminal, phrases), c.gathered);
        std::rewind(err);
        char said[512] = {};
        const std::size_t n = std::fread(said, 1, sizeof said - 1, err);
        std::fclose(err);
        if (c.gathered)
            EXPECT_EQ(n, 0u) << said;
        else
            EXPECT_TRUE(QString::fromUtf8(said, qsizetype(n))
                            .contains(QStringLiteral("blank.txt holds blank lines only")))
                << said;
    }
}

}  // namespace
}  // namespace qm::cli
