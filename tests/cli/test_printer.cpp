// What the command line's printers need of a file: -m N stops its matching
// after N rows, -l after one, unless a text file takes every row.
#include <gtest/gtest.h>

#include <cstdio>

#include "cli/cliopts.h"
#include "cli/console.h"
#include "cli/printer.h"
#include "search/snippet.h"

namespace qm::cli {
namespace {

TEST(Printer, StopsAFileWhenItHasWhatItNeeds) {
    struct Case {
        QStringList options;
        int enoughAfter;  // rows of a file; 0: every row is wanted
    };
    const QString tsv = QStringLiteral("--tsv=/tmp/never-written.txt");
    const Case cases[] = {
        {{}, 0},
        {{QStringLiteral("-m"), QStringLiteral("2")}, 2},
        {{QStringLiteral("-m2"), tsv}, 2},
        {{QStringLiteral("-l")}, 1},
        {{QStringLiteral("-l"), QStringLiteral("--json")}, 1},
        {{QStringLiteral("-l"), tsv}, 0},
        {{QStringLiteral("-c")}, 0},
        {{QStringLiteral("-c"), QStringLiteral("--json")}, 0},
        {{QStringLiteral("-c"), QStringLiteral("-m1")}, 1},
        {{QStringLiteral("--json")}, 0},
    };
    const QString path = QStringLiteral("/docs/a.pdf");
    const Snippet snippet = snippetAt("a fox", 2);
    for (const Case& c : cases) {
        const ParseResult parsed =
            parseArguments(c.options + QStringList{QStringLiteral("fox"), path});
        ASSERT_TRUE(parsed.ok()) << parsed.error.toStdString();
        Terminal terminal(stderr, false);
        Output out;
        // Nothing printed: the answers are the same either way.
        const auto printer = makePrinter({parsed.options, terminal, out, true, false});
        // Each file starts afresh.
        for (int file = 0; file < 2; ++file) {
            printer->beginFile(path);
            int taken = 0;
            SinkAnswer answer = SinkAnswer::More;
            while (answer == SinkAnswer::More && taken < 5) {
                answer = printer->occurrence(Hit{path, 0, 0, 0, snippet, 1, QString(), 0});
                ++taken;
            }
            printer->endFile(path, static_cast<std::size_t>(taken));
            EXPECT_EQ(answer == SinkAnswer::Enough ? taken : 0, c.enoughAfter)
                << c.options.join(u' ').toStdString() << ", file " << file;
        }
    }
}

}  // namespace
}  // namespace qm::cli
