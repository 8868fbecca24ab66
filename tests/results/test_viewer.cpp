// The viewer command lines built for each known PDF viewer from the desktop's
// default application, and the fall-back to the desktop's plain opening. No
// viewer is started: the scripted desktop records the argument lists.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <QFileInfo>
#include <QTemporaryDir>

#include "fs/fs.h"
#include "platform/workfolder.h"
#include "results/viewer.h"
#include "support/scripted.h"

namespace qm {
namespace {

const QString kPdf = QStringLiteral("/home/u/My Files/report #2.pdf");
const QString kPhrase = QStringLiteral("net total");

QStringList commandFor(const QString& entry, int page = 7, const QString& phrase = kPhrase) {
    const ViewerCommand c = viewerCommand(entry, kPdf, page, phrase);
    if (c.program.isEmpty()) return {};
    return QStringList{c.program} + c.arguments;
}

QStringList list(std::initializer_list<const char*> items) {
    QStringList out;
    for (const char* i : items) out << QString::fromUtf8(i);
    return out;
}

TEST(ViewerCommand, EachKnownViewerGetsItsOwnOptions) {
    const QStringList evince = list({"evince", "--page-index=7", "--find=net total"}) << kPdf;
    EXPECT_EQ(commandFor(QStringLiteral("org.gnome.Evince.desktop")), evince);
    EXPECT_EQ(commandFor(QStringLiteral("evince.desktop")), evince);
    // MATE's and Cinnamon's viewers take the page index but document no phrase option.
    EXPECT_EQ(commandFor(QStringLiteral("atril.desktop")), list({"atril", "--page-index=7"})
                                                               << kPdf);
    EXPECT_EQ(commandFor(QStringLiteral("xreader.desktop")), list({"xreader", "--page-index=7"})
                                                                 << kPdf);
    const QStringList okular = list({"okular", "-p", "7", "--find", "net total"}) << kPdf;
    EXPECT_EQ(commandFor(QStringLiteral("okularApplication_pdf.desktop")), okular);
    EXPECT_EQ(commandFor(QStringLiteral("org.kde.okular.desktop")), okular);
    // zathura with its MuPDF plug-in is still zathura.
    const QStringList zathura = list({"zathura", "-P", "7", "-f", "net total"}) << kPdf;
    EXPECT_EQ(commandFor(QStringLiteral("org.pwmt.zathura-pdf-mupdf.desktop")), zathura);
    EXPECT_EQ(commandFor(QStringLiteral("org.pwmt.zathura.desktop")), zathura);
    EXPECT_EQ(commandFor(QStringLiteral("qpdfview.desktop")),
              list({"qpdfview", "--search", "net total"}) << kPdf + QStringLiteral("#7"));
    EXPECT_EQ(commandFor(QStringLiteral("mupdf.desktop")),
              (QStringList{QStringLiteral("mupdf"), kPdf, QStringLiteral("7")}));
}

TEST(ViewerCommand, NoPhraseNoFindAndNoPageOrUnknownViewerNoCommand) {
    EXPECT_EQ(commandFor(QStringLiteral("org.gnome.Evince.desktop"), 2, QString()),
              list({"evince", "--page-index=2"}) << kPdf);
    EXPECT_EQ(commandFor(QStringLiteral("okularApplication_pdf.desktop"), 2, QString()),
              list({"okular", "-p", "2"}) << kPdf);
    EXPECT_EQ(commandFor(QStringLiteral("org.pwmt.zathura.desktop"), 2, QString()),
              list({"zathura", "-P", "2"}) << kPdf);
    EXPECT_EQ(commandFor(QStringLiteral("qpdfview.desktop"), 2, QString()),
              QStringList{QStringLiteral("qpdfview")} << kPdf + QStringLiteral("#2"));
    EXPECT_TRUE(commandFor(QStringLiteral("firefox.desktop")).isEmpty());
    EXPECT_TRUE(commandFor(QString()).isEmpty());
    EXPECT_TRUE(commandFor(QStringLiteral("org.gnome.Evince.desktop"), 0).isEmpty());
}

TEST(OpenAtPage, StartsTheViewerOrOpensAsTheDesktopDoes) {
    ScriptedDesktop desktop;
    desktop.defaultApp = QStringLiteral("org.gnome.Evince.desktop");
    openAtPage(desktop, kPdf, 3, kPhrase);
    ASSERT_EQ(desktop.started.size(), 1u);
    EXPECT_EQ(desktop.started[0], list({"evince", "--page-index=3", "--find=net total"}) << kPdf);
    EXPECT_EQ(desktop.asked, QStringList{QStringLiteral("application/pdf")});
    EXPECT_TRUE(desktop.opened.isEmpty());

    // The viewer cannot be started: the file still opens.
    desktop.startable = false;
    openAtPage(desktop, kPdf, 3, kPhrase);
    EXPECT_EQ(desktop.opened, QStringList{kPdf});

    // An unknown viewer, or no default at all: opened as the desktop opens it.
    desktop.startable = true;
    for (const QString& entry : {QStringLiteral("foxit.desktop"), QString()}) {
        desktop.defaultApp = entry;
        desktop.opened.clear();
        openAtPage(desktop, kPdf, 3, kPhrase);
        EXPECT_EQ(desktop.opened, QStringList{kPdf});
    }
    EXPECT_EQ(desktop.started.size(), 2u);

    // A row without a page starts no viewer of its own.
    desktop.defaultApp = QStringLiteral("org.gnome.Evince.desktop");
    desktop.opened.clear();
    desktop.started.clear();
    EXPECT_TRUE(openAtPage(desktop, kPdf, 0, kPhrase));
    EXPECT_TRUE(desktop.started.empty());
    EXPECT_EQ(desktop.opened, QStringList{kPdf});
}

// Catches a viewer given a name whose bytes are not UTF-8 as text, which a
// program's arguments turn into U+FFFD: a file the viewer cannot find.
TEST(ViewerPaths, ANameThatIsNotUtf8IsOpenedThroughALink) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_FALSE(createWorkFolder({dir.path()}).isEmpty());
    const QString raw = dir.path() + u'/' + fs::decodeName("caf\xe9.pdf");
    const int fd = ::open(fs::encodeName(raw).constData(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ::close(fd);

    ScriptedDesktop desktop;
    desktop.defaultApp = QStringLiteral("org.gnome.Evince.desktop");
    openAtPage(desktop, raw, 3, QString());
    ASSERT_EQ(desktop.started.size(), 1u);
    const QString given = desktop.started[0].last();
    EXPECT_EQ(QFileInfo(given).fileName(), QStringLiteral("caf\\xE9.pdf"));
    // The text survives an argument list, and leads to the very file.
    EXPECT_EQ(QString::fromLocal8Bit(given.toLocal8Bit()), given);
    char target[4096] = {};
    const ssize_t n = ::readlink(given.toLocal8Bit().constData(), target, sizeof target - 1);
    ASSERT_GT(n, 0);
    EXPECT_EQ(QByteArray(target, n), fs::encodeName(raw));

    // A name of valid text is given as it is.
    openAtPage(desktop, kPdf, 3, QString());
    EXPECT_EQ(desktop.started.back().last(), kPdf);
    removeWorkFolder();
}

// When the desktop's PDF viewer is this program, the next registered
// application opens the file (at its page when it takes one); with none there
// is no viewer, and nothing is opened.
TEST(OpenAtPage, ThisProgramAsTheDefaultIsPassedOver) {
    const QString own = QString::fromLatin1(kOwnDesktopEntry);
    struct Case {
        QStringList registered;
        int page;
        bool opened;
        std::vector<QStringList> started;
    };
    const std::vector<Case> cases{
        {{own, QStringLiteral("org.gnome.Evince.desktop")},
         3,
         true,
         {list({"evince", "--page-index=3", "--find=net total"}) << kPdf}},
        {{own, QStringLiteral("org.gnome.Evince.desktop")},
         0,
         true,
         {{QStringLiteral("org.gnome.Evince.desktop"), kPdf}}},
        {{QStringLiteral("foxit.desktop"), own},
         3,
         true,
         {{QStringLiteral("foxit.desktop"), kPdf}}},
        {{own}, 3, false, {}},
        {{}, 0, false, {}},
    };
    for (const Case& c : cases) {
        ScriptedDesktop desktop;
        desktop.defaultApp = QStringLiteral("Quillmark.desktop");
        desktop.registered = c.registered;
        EXPECT_EQ(openAtPage(desktop, kPdf, c.page, kPhrase), c.opened)
            << c.registered.join(u' ').toStdString();
        EXPECT_EQ(desktop.started, c.started) << c.registered.join(u' ').toStdString();
        EXPECT_TRUE(desktop.opened.isEmpty());
    }
}

}  // namespace
}  // namespace qm
