// "Add All PDF File(s) In Folder" and a drop of folders over trees that hold
// what a walk cannot read, and names that are not UTF-8: such files are listed
// and read, and what cannot be read is named in one report after the walk.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>
#include <functional>

#include "app/form1.h"
#include "fs/fs.h"
#include "platform/settings.h"
#include "platform/workfolder.h"
#include "support/pdfmaker.h"
#include "support/scripted.h"
#include "support/window.h"

namespace qm {

namespace {

const QString kReport = QStringLiteral("These folders or files could not be read:");
const QByteArray kLongName(200, 'd');

// Nested folders of 200-byte names under `folder`, far past the 4,096 bytes
// a path may have; made and removed level by level, relative to the one above.
void makeDeepTree(const QString& folder) {
    int fd = ::open(fs::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < 25 && fd >= 0; ++level) {
        ::mkdirat(fd, kLongName.constData(), 0755);
        const int inner = ::openat(fd, kLongName.constData(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = inner;
    }
    if (fd >= 0) ::close(fd);
}
void removeDeepTree(const QString& folder) {
    std::function<void(int)> removeAt = [&](int dirFd) {
        const int inner = ::openat(dirFd, kLongName.constData(), O_RDONLY | O_DIRECTORY);
        if (inner < 0) return;
        removeAt(inner);
        ::close(inner);
        ::unlinkat(dirFd, kLongName.constData(), AT_REMOVEDIR);
    };
    const int top = ::open(fs::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    removeAt(top);
    ::close(top);
}

}  // namespace

class AddFolderReportTest : public QObject {
    Q_OBJECT

    QTemporaryDir tmp_;
    QString extractor_;

    struct Window : ScriptedServices {
        IniSettingsStore settings;
        std::unique_ptr<Form1> form;
        Window(const QString& ini, const QString& extractor) : settings(ini) {
            services.settings = &settings;
            Form1::Config config;
            config.runFormLoad = false;
            form = std::make_unique<Form1>(services, config);
            form->ExtractorPath = extractor;
        }
        QStringList reports() const {
            QStringList out;
            for (const QString& m : boxes.messageTexts())
                if (m.startsWith(kReport)) out << m;
            return out;
        }
    };

    QString d(const QString& rel) const { return tmp_.path() + u'/' + rel; }
    // A file named by its bytes, holding a line the fake extractor turns into text.
    void rawFile(const QByteArray& rel) {
        const QByteArray p = fs::encodeName(tmp_.path()) + '/' + rel;
        const int fd = ::open(p.constData(), O_CREAT | O_WRONLY, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, "%PDF-1.4\n", 9), ssize_t(9));
        ::close(fd);
    }

  private Q_SLOTS:
    void initTestCase() {
        QVERIFY(tmp_.isValid());
        createWorkFolder();
        // Readable text for every file it is given (a copy in the work folder).
        extractor_ = test::writeScript(
            tmp_.path(), QStringLiteral("fake-pdftotext"),
            QStringLiteral("[ -f \"$1\" ] || exit 1\n"
                           "printf 'plenty of readable text' > \"${1%.pdf}.txt\"\n"));
    }
    void cleanupTestCase() { removeWorkFolder(); }

    // Catches a non-UTF-8 name dropped by the walk, or listed under a name
    // that opens nothing (the check would then report it), and a path too
    // long for the system skipped without a word.
    void theScanListsOddNamesAndReportsWhatItCannotRead() {
        QVERIFY(QDir().mkpath(d(QStringLiteral("scan/Questions?"))));
        rawFile("scan/caf\xe9.pdf");
        rawFile("scan/Questions?/q.pdf");
        makeDeepTree(d(QStringLiteral("scan")));

        Window w(d(QStringLiteral("a.ini")), extractor_);
        w.boxes.answerInput(QStringLiteral("pdf"));
        w.dialogs.folderAnswers.push_back(d(QStringLiteral("scan")));
        w.form->PushButton6_Click();
        QVERIFY(test::checkToEnd(*w.form));
        removeDeepTree(d(QStringLiteral("scan")));

        QStringList listed = w.form->fileList.paths();
        listed.sort();
        QCOMPARE(listed, (QStringList{d(QStringLiteral("scan/Questions?/q.pdf")),
                                      d(QStringLiteral("scan/")) + fs::decodeName("caf\xe9.pdf")}));
        // Both were read: no check report.
        for (const QString& m : w.boxes.messageTexts())
            QVERIFY2(!m.startsWith(QStringLiteral("These files could not be read:")),
                     qPrintable(m));

        const QStringList reports = w.reports();
        QCOMPARE(reports.size(), 1);
        const QStringList lines = reports[0].split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[1].isEmpty());
        QVERIFY2(lines[2].startsWith(d(QStringLiteral("scan/")) + QString::fromLatin1(kLongName)),
                 qPrintable(lines[2]));
        QVERIFY2(lines[2].endsWith(
                     QStringLiteral("  - the path is longer than the system takes (4,096 bytes)")),
                 qPrintable(lines[2]));
    }

    // Catches one report per dropped folder: a drop of several is one walk.
    void aDropOfFoldersGivesOneReport() {
        for (const char* f : {"one", "two"}) {
            QVERIFY(QDir().mkpath(d(QStringLiteral("drop/") + QLatin1String(f))));
            makeDeepTree(d(QStringLiteral("drop/") + QLatin1String(f)));
        }
        Window w(d(QStringLiteral("b.ini")), extractor_);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(d(QStringLiteral("drop/one"))),
                      QUrl::fromLocalFile(d(QStringLiteral("drop/two")))});
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        w.form->ListView1_OLEDragDrop(&drop);
        QVERIFY(test::checkToEnd(*w.form));
        QTRY_COMPARE(w.reports().size(), 1);
        QCoreApplication::processEvents();
        for (const char* f : {"one", "two"})
            removeDeepTree(d(QStringLiteral("drop/") + QLatin1String(f)));
        QCOMPARE(w.reports().size(), 1);
        QCOMPARE(w.reports()[0].count(QStringLiteral("  - the path is longer")), 2);
    }
};

}  // namespace qm

QTEST_MAIN(qm::AddFolderReportTest)
#include "test_add_folder_report.moc"
