// The command line's options: what each accepts and refuses at the edges of
// its range.
#include <gtest/gtest.h>

#include <QStringList>

#include "cli/cliopts.h"

namespace qm::cli {
namespace {

ParseResult parse(const QStringList& options) {
    return parseArguments(options + QStringList{QStringLiteral("fox"), QStringLiteral("a.pdf")});
}

TEST(Options, NumbersAtTheEdgesOfTheirRange) {
    struct Case {
        QStringList options;
        bool accepted;
        int jobs;
        int timeout;
    };
    const Case cases[] = {
        {{QStringLiteral("-j"), QStringLiteral("1")}, true, 1, 600},
        {{QStringLiteral("-j"), QStringLiteral("256")}, true, 256, 600},
        {{QStringLiteral("-j"), QStringLiteral("257")}, false, 0, 0},
        {{QStringLiteral("-j"), QStringLiteral("0")}, false, 0, 0},
        {{QStringLiteral("--jobs=-1")}, false, 0, 0},
        {{QStringLiteral("--timeout"), QStringLiteral("0")}, true, 0, 0},  // no limit
        {{QStringLiteral("--timeout=86400")}, true, 0, 86400},
        {{QStringLiteral("--timeout=86401")}, false, 0, 0},
        {{QStringLiteral("--timeout=-1")}, false, 0, 0},
        {{QStringLiteral("--timeout=ten")}, false, 0, 0},
    };
    for (const Case& c : cases) {
        const ParseResult r = parse(c.options);
        EXPECT_EQ(r.ok(), c.accepted) << c.options.join(u' ').toStdString();
        if (!r.ok() || !c.accepted) continue;
        EXPECT_EQ(r.options.jobs, c.jobs) << c.options.join(u' ').toStdString();
        EXPECT_EQ(r.options.timeoutSeconds, c.timeout) << c.options.join(u' ').toStdString();
    }
}

TEST(Options, ExtensionsWithOrWithoutTheirDot) {
    struct Case {
        QString given;
        QString extension;  // empty: refused
    };
    const Case cases[] = {
        {QStringLiteral("txt"), QStringLiteral("txt")},
        {QStringLiteral(".txt"), QStringLiteral("txt")},
        {QStringLiteral("*"), QStringLiteral("*")},
        {QStringLiteral("."), QString()},
        {QString(), QString()},
    };
    for (const Case& c : cases) {
        const ParseResult r = parse({QStringLiteral("--ext=") + c.given});
        EXPECT_EQ(r.ok(), !c.extension.isEmpty()) << c.given.toStdString();
        if (r.ok()) {
            EXPECT_EQ(r.options.extension, c.extension) << c.given.toStdString();
        }
    }
}

// Catches a file named "--tsv=x" among the paths of a "*" silently taken as
// the order to overwrite x, and the warning given where no path came before.
TEST(Options, AWritingOptionAfterAPathIsWarnedOf) {
    struct Case {
        QStringList arguments;
        bool warned;
        QString tsv;  // the option is taken all the same
    };
    const QString x = QStringLiteral("x.txt");
    const QString eq = QStringLiteral("--tsv=x.txt");
    const QString fox = QStringLiteral("fox");
    const QString pdf = QStringLiteral("a.pdf");
    const Case cases[] = {
        {{fox, pdf, eq}, true, x},
        {{fox, pdf, QStringLiteral("--tsv"), x}, true, x},
        {{QStringLiteral("-e"), fox, pdf, eq}, true, x},  // no phrase among the arguments
        {{eq, fox, pdf}, false, x},
        {{fox, eq, pdf}, false, x},  // after the phrase, before the paths
        {{fox, pdf, QStringLiteral("-i")}, false, QString()},
        {{fox, pdf, QStringLiteral("--"), eq}, false, QString()},  // a path
    };
    for (const Case& c : cases) {
        const ParseResult r = parseArguments(c.arguments);
        ASSERT_TRUE(r.ok()) << r.error.toStdString();
        EXPECT_EQ(r.warnings.size(), c.warned ? 1 : 0) << c.arguments.join(u' ').toStdString();
        EXPECT_EQ(r.options.tsvPath, c.tsv) << c.arguments.join(u' ').toStdString();
    }
}

}  // namespace
}  // namespace qm::cli
