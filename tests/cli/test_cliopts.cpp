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

}  // namespace
}  // namespace qm::cli
