// The applications registered for a MIME type, read from a made-up set of
// applications folders (XDG_DATA_HOME, XDG_DATA_DIRS) and mimeapps.list
// (XDG_CONFIG_HOME), and the command an entry's Exec value gives for a file;
// the desktop service starts the entry's own program on the file.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "platform/desktopentries.h"
#include "platform/gui/qt_services.h"
#include "support/pdfmaker.h"

namespace qm {
namespace {

QStringList list(std::initializer_list<const char*> items) {
    QStringList out;
    for (const char* i : items) out << QString::fromUtf8(i);
    return out;
}

TEST(ExecCommand, FieldCodesQuotingAndEscapes) {
    const QString file = QStringLiteral("/home/u/a b.pdf");
    struct Case {
        const char* exec;
        QStringList command;
    };
    const std::vector<Case> cases{
        {"evince %U", list({"evince", "file:///home/u/a%20b.pdf"})},
        {"okular --find \"two words\" %f", list({"okular", "--find", "two words"}) << file},
        // No file code: the file is added; other codes dropped, %% kept as %.
        {"viewer --zoom=100%% %i %c", list({"viewer", "--zoom=100%"}) << file},
        // Escapes of the value (\s, a blank between arguments) and of a quoted
        // argument (\").
        {R"(viewer --title\s"say \"hi\"" %F)", list({"viewer", "--title", "say \"hi\""}) << file},
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(execCommand(QString::fromUtf8(c.exec), file), c.command) << c.exec;
}

class DesktopEntries : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        saved_ = {qgetenv("XDG_DATA_HOME"), qgetenv("XDG_DATA_DIRS"), qgetenv("XDG_CONFIG_HOME"),
                  qgetenv("PATH")};
        qputenv("XDG_DATA_HOME", (dir_.path() + QStringLiteral("/home")).toLocal8Bit());
        qputenv("XDG_DATA_DIRS",
                (dir_.path() + QStringLiteral("/usr:") + dir_.path() + QStringLiteral("/missing"))
                    .toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (dir_.path() + QStringLiteral("/config")).toLocal8Bit());
        qputenv("PATH", (dir_.path() + QStringLiteral("/bin:")).toLocal8Bit() + saved_[3]);
    }
    void TearDown() override {
        qputenv("XDG_DATA_HOME", saved_[0]);
        qputenv("XDG_DATA_DIRS", saved_[1]);
        qputenv("XDG_CONFIG_HOME", saved_[2]);
        qputenv("PATH", saved_[3]);
    }
    void entry(const QString& file, const QString& exec, const QString& extra = QString(),
               const QString& mime = QStringLiteral("application/pdf;")) {
        test::writeBytes(dir_.path() + u'/' + file,
                         (QStringLiteral("[Desktop Entry]\nType=Application\nName=x\nExec=") +
                          exec + QStringLiteral("\nMimeType=") + mime + u'\n' + extra)
                             .toUtf8());
    }
    // A program on PATH that writes its arguments, one a line, to `<name>.args`.
    QString program(const QString& name) {
        return test::writeScript(
            dir_.path() + QStringLiteral("/bin"), name,
            QStringLiteral("printf '%s\\n' \"$@\" > '%1/%2.args'\n").arg(dir_.path(), name));
    }
    QTemporaryDir dir_;
    std::vector<QByteArray> saved_;
};

TEST_F(DesktopEntries, RegisteredApplicationsInOrderOfPreference) {
    program(QStringLiteral("homeview"));
    program(QStringLiteral("kview"));
    program(QStringLiteral("quillmark"));
    entry(QStringLiteral("home/applications/homeview.desktop"), QStringLiteral("homeview %f"));
    entry(QStringLiteral("usr/applications/quillmark.desktop"), QStringLiteral("quillmark %F"));
    entry(QStringLiteral("usr/applications/kde4/kview.desktop"), QStringLiteral("kview %U"));
    // Left out: a program that is not installed, a hidden entry, one removed
    // by mimeapps.list, one for other types.
    entry(QStringLiteral("usr/applications/gone.desktop"), QStringLiteral("no-such-viewer %f"));
    entry(QStringLiteral("usr/applications/hidden.desktop"), QStringLiteral("kview %f"),
          QStringLiteral("Hidden=true\n"));
    entry(QStringLiteral("usr/applications/removed.desktop"), QStringLiteral("kview %f"));
    entry(QStringLiteral("usr/applications/text.desktop"), QStringLiteral("kview %f"), QString(),
          QStringLiteral("text/plain;"));
    test::writeBytes(dir_.path() + QStringLiteral("/config/mimeapps.list"),
                     "[Added Associations]\napplication/pdf=kde4-kview.desktop;\n"
                     "[Removed Associations]\napplication/pdf=removed.desktop;\n");
    EXPECT_EQ(registeredApplications(QStringLiteral("application/pdf")),
              list({"kde4-kview.desktop", "homeview.desktop", "quillmark.desktop"}));
    EXPECT_TRUE(registeredApplications(QStringLiteral("image/png")).isEmpty());

    // The desktop service starts the entry's own program on the file.
    QtDesktop desktop;
    EXPECT_EQ(desktop.applicationsFor(QStringLiteral("application/pdf")).first(),
              QStringLiteral("kde4-kview.desktop"));
    const QString pdf = dir_.path() + QStringLiteral("/my file.pdf");
    ASSERT_TRUE(desktop.openWith(QStringLiteral("homeview.desktop"), pdf));
    const QString args = dir_.path() + QStringLiteral("/homeview.args");
    QDeadlineTimer deadline(10000);
    while (!QFile::exists(args) && !deadline.hasExpired()) QThread::msleep(20);
    QFile written(args);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), pdf.toUtf8() + '\n');
    EXPECT_FALSE(desktop.openWith(QStringLiteral("gone-entry.desktop"), pdf));
}

}  // namespace
}  // namespace qm
