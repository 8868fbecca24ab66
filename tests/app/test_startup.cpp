// Start-up, shutdown and the sample files of the main window: defaults with no
// settings, the restore of stored find sets, an error in one start-up step, the
// skin rule, the occasional web-site visit, the removal of the private work
// folder, and a whole first search over the example files.

#include <sys/stat.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>
#include <memory>

#include "app/form1.h"
#include "extraction/child.h"
#include "extraction/extractor.h"
#include "platform/settings.h"
#include "platform/workfolder.h"
#include "search/session.h"
#include "support/scripted.h"
#include "support/window.h"
#include "text/error.h"
#include "words/words.h"

using namespace qm;

namespace {

// A store that fails to read one key, as a broken settings file would.
class FailingStore : public SettingsStore {
  public:
    FailingStore(SettingsStore& inner, QString failingKey)
        : inner_(inner), failingKey_(std::move(failingKey)) {}
    QString getSetting(const QString& key, const QString& def) const override {
        if (key == failingKey_) throw Error(QStringLiteral("The settings file cannot be read."));
        return inner_.getSetting(key, def);
    }
    void saveSetting(const QString& key, const QString& value) override {
        inner_.saveSetting(key, value);
    }

  private:
    SettingsStore& inner_;
    QString failingKey_;
};

struct Window : test::TestWindow {
    std::unique_ptr<SettingsStore> wrapped;
    int endCalls = 0;

    Window(const QString& iniPath, Form1::Config config, const QString& failingKey = QString()) {
        useIni(iniPath);
        if (!failingKey.isEmpty()) {
            wrapped = std::make_unique<FailingStore>(*ini, failingKey);
            services.settings = wrapped.get();
        }
        config.endProgram = [this] { ++endCalls; };
        open(config);
    }
    ~Window() { form.reset(); }  // before the store it writes to
};

const QString kQuestion = QStringLiteral(
    "Would you like this software to open the folder where these sample files are stored (so "
    "that you can view them before working with them)?");

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    QString ini;

    void store(const QString& key, const QString& value) {
        QSettings s(ini, QSettings::IniFormat);
        s.setValue(QStringLiteral("Quillmark/") + key, value);
        s.sync();
    }
    Form1::Config config(const QString& appFolder = QString()) {
        Form1::Config c;
        c.applicationFolder = appFolder.isEmpty() ? tmp->path() : appFolder;
        return c;
    }
    // An application folder whose "Samples" holds copies of the example files.
    QString appFolderWithSamples() {
        const QString app = tmp->filePath(QStringLiteral("app"));
        QDir().mkpath(app + QStringLiteral("/Samples"));
        const QDir source(qEnvironmentVariable("QM_SOURCE_DIR") + QStringLiteral("/samples"));
        for (const QString& name : source.entryList({QStringLiteral("*.pdf")}, QDir::Files))
            QFile::copy(source.filePath(name), app + QStringLiteral("/Samples/") + name);
        return app;
    }

  private Q_SLOTS:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        ini = tmp->filePath(QStringLiteral("Veltrane.ini"));
    }

    void firstStartWithoutSettings() {
        Window w(ini, config());
        Form1& f = *w.form;
        QVERIFY(w.boxes.shown.empty());
        QCOMPARE(f.windowTitle(), QStringLiteral("Quillmark"));
        QCOMPARE(applicationTitle(), QStringLiteral("Quillmark"));
        QVERIFY(f.Option2->isChecked());
        QVERIFY(f.Option3->isChecked());
        QVERIFY(!f.Option1->isChecked());
        QVERIFY(!f.Option4->isChecked());
        QVERIFY(!f.Check1->isChecked());
        QVERIFY(f.Text1->text().isEmpty());
        QCOMPARE(f.Combo1->count(), 0);
        QCOMPARE(f.ListView1->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral(" PDF File(s)"));
        QCOMPARE(f.ListView2->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("Results (File)"));
        QCOMPARE(f.ListView2->model()->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral(" Where"));
        QCOMPARE(f.ListView1->columnWidth(0), 467);
        QCOMPARE(f.ListView2->columnWidth(0), 233);
        QCOMPARE(f.ListView2->columnWidth(1), 233);
        // The extractor found on PATH, by its absolute path.
        QCOMPARE(f.ExtractorPath, findExtractor());
        QVERIFY(QFileInfo(f.ExtractorPath).isAbsolute());
    }

    void storedFindSetsWithDoubledAndTrailingSeparators() {
        store(QStringLiteral("FindSets"), QStringLiteral("::a::::b::"));
        Window w(ini, config());
        QCOMPARE(w.findSets(), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
        QVERIFY(w.boxes.shown.empty());
    }

    void failingStepIsReportedAndStartUpGoesOn() {
        store(QStringLiteral("FindSets"), QStringLiteral("::x"));
        store(QStringLiteral("Option4"), QStringLiteral("True"));
        store(QStringLiteral("Option3"), QStringLiteral("False"));
        Window w(ini, config(), QStringLiteral("Text1"));
        QCOMPARE(w.boxes.shown.size(), size_t(1));
        const auto& box = w.boxes.shown[0];
        QCOMPARE(box.title, QStringLiteral("Application Error"));
        QVERIFY2(box.text.contains(
                     QStringLiteral("in Kestrova2021/08/31.Form1.Form_Load at line 158\r\r")),
                 qPrintable(box.text));
        // The steps after the failing one still ran.
        QCOMPARE(w.findSets(), QStringList{QStringLiteral("x")});
        QVERIFY(w.form->Option4->isChecked());
        QCOMPARE(w.form->ExtractorPath, findExtractor());
    }

    void withoutAnExtractorTheUserIsToldOnce() {
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", tmp->path().toLocal8Bit());
        Window w(ini, config());
        qputenv("PATH", oldPath);
        QCOMPARE(w.boxes.messageTexts(), QStringList{extractorMissingMessage()});
        QVERIFY(extractorMissingMessage().contains(QStringLiteral("poppler-utils")));
        QVERIFY(w.form->ExtractorPath.isEmpty());
    }

    // A fault caught: a work folder silently made at "" (every work path at
    // "/"), or the search blaming the PDFs instead of the temporary folder.
    void withoutASafeTemporaryFolderTheUserIsToldAndSearchesAreRefused() {
        removeWorkFolder();
        const QString open = tmp->filePath(QStringLiteral("open"));
        QVERIFY(QDir().mkpath(open));
        QCOMPARE(::chmod(QFile::encodeName(open).constData(), 0777), 0);
        QVERIFY(createWorkFolder({open}).isEmpty());
        const QString problem = workFolderProblem();
        QVERIFY2(problem.contains(open + QStringLiteral(": other users can write")),
                 qPrintable(problem));

        Window w(ini, config());
        QCOMPARE(w.boxes.messageTexts(), QStringList{problem});
        w.form->Text1->setText(QStringLiteral("the"));
        w.form->fileList.add(qEnvironmentVariable("QM_SOURCE_DIR") +
                             QStringLiteral("/samples/Garden salad.pdf"));
        QVERIFY(test::searchToEnd(*w.form));
        QCOMPARE(w.boxes.messageTexts(), (QStringList{problem, problem}));
        QVERIFY(w.rows().isEmpty());
        QCOMPARE(w.form->PushButton7->text(), QStringLiteral("Start Searching"));
        QVERIFY(QDir(open).isEmpty());
        removeWorkFolder();
    }

    void skinColoursOnlyWithTheSkinFile() {
        {
            Window w(ini, config());
            QCOMPARE(w.form->palette().color(QPalette::Window), QColor(Qt::white));
        }
        QDir().mkpath(tmp->filePath(QStringLiteral("x")));
        QFile skin(tmp->filePath(QStringLiteral("x/o.cjs")));
        QVERIFY(skin.open(QIODevice::WriteOnly));
        skin.close();
        Window w(ini, config());
        const QColor face = w.form->palette().color(QPalette::Button);
        QCOMPARE(w.form->palette().color(QPalette::Window), face);
        for (QWidget* c : QList<QWidget*>{w.form->Option1, w.form->Option4, w.form->Check1,
                                          w.form->Frame1, w.form->Frame3})
            QCOMPARE(c->palette().color(QPalette::Window), face);
        QVERIFY(w.boxes.shown.empty());
    }

    void webSiteOnlyOnTheDrawOfSeven() {
        const QString site = QStringLiteral("https://quillmark.invalid/");
        struct Draw {
            double r;
            bool opens;
        };
        // floor(r * 100) + 1: 0.06 and 0.0699 give 7, their neighbours 6 and 8.
        for (const Draw d : {Draw{0.0599, false}, Draw{0.06, true}, Draw{0.0699, true},
                             Draw{0.07, false}, Draw{0.99, false}, Draw{0.0, false}}) {
            Form1::Config c = config();
            c.webSiteAddress = site;
            c.randomUnit = [d] { return d.r; };
            Window w(ini, c);
            QCOMPARE(w.desktop.urls, d.opens ? QStringList{site} : QStringList{});
        }
        // With no address, the draw of 7 opens nothing.
        Form1::Config c = config();
        c.randomUnit = [] { return 0.06; };
        Window w(ini, c);
        QVERIFY(w.desktop.urls.isEmpty());
    }

    void shutdownRemovesTheWorkFolderWithItsFiles() {
        const QString folder = createWorkFolder();
        QVERIFY(!folder.isEmpty());
        QVERIFY(QFileInfo(folder).permissions() ==
                (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser |
                 QFile::WriteUser | QFile::ExeUser));
        QFile left(folder + QStringLiteral("/tmp.pdf"));
        QVERIFY(left.open(QIODevice::WriteOnly));
        left.write("left behind");
        left.close();
        QDir().mkpath(folder + QStringLiteral("/sub"));
        {
            Window w(ini, config());
            w.form->close();
            QCOMPARE(w.endCalls, 1);
            QVERIFY(extractionsEnded());
        }
        QVERIFY(!QFileInfo::exists(folder));
        allowExtractions();
    }

    void samplesAreAddedOnceAndTheQuestionIsAskedEachTime() {
        const QString app = appFolderWithSamples();
        Window w(ini, config(app));
        w.form->ExtractorPath.clear();  // the check then reports every file; not examined here
        w.boxes.answerQuestion(true);
        w.form->PushButton10_Click();
        QVERIFY(test::checkToEnd(*w.form));
        const int first = w.form->fileList.count();
        QCOMPARE(first, 5);
        QCOMPARE(w.desktop.opened, QStringList{app + QStringLiteral("/Samples")});
        w.boxes.answerQuestion(false);
        w.form->PushButton10_Click();
        QVERIFY(test::checkToEnd(*w.form));
        QCOMPARE(w.form->fileList.count(), first);
        int questions = 0;
        for (const auto& s : w.boxes.shown)
            if (s.kind == ScriptedMessageBoxes::Kind::Question) {
                ++questions;
                QCOMPARE(s.text, kQuestion);
                QCOMPARE(s.title, QStringLiteral("Quillmark"));
            }
        QCOMPARE(questions, 2);
        QCOMPARE(w.desktop.opened.size(), 1);
        for (const QString& p : w.form->fileList.paths())
            QVERIFY(p.startsWith(app + QStringLiteral("/Samples/")));
    }

    void sampleListedUnderAnotherLetterCaseIsAddedAgain() {
        const QString app = appFolderWithSamples();
        Window w(ini, config(app));
        w.form->ExtractorPath.clear();
        const QString upper = app + QStringLiteral("/SAMPLES/Garden salad.pdf");
        const QString exact = app + QStringLiteral("/Samples/Garden salad.pdf");
        w.form->fileList.add(upper);
        w.form->fileList.add(exact);
        w.boxes.answerQuestion(false);
        w.form->PushButton10_Click();
        QVERIFY(test::checkToEnd(*w.form));
        QCOMPARE(w.form->fileList.count(), 1 + 5);
        QCOMPARE(w.form->fileList.paths().count(exact), 1);
        QCOMPARE(w.form->fileList.paths().count(upper), 1);
    }

    void withoutASamplesFolderTheRestStillHappens() {
        Window w(ini, config(tmp->filePath(QStringLiteral("nowhere"))));
        const QString other = tmp->filePath(QStringLiteral("other.pdf"));
        w.form->fileList.add(other);  // missing: the check reports it
        w.boxes.answerQuestion(false);
        w.form->PushButton10_Click();
        QVERIFY(test::checkToEnd(*w.form));
        QCOMPARE(w.form->fileList.count(), 1);
        QCOMPARE(w.form->Text1->text(), QStringLiteral("salad"));
        QVERIFY(w.form->Option3->isChecked());
        const QStringList texts = w.boxes.messageTexts();
        QCOMPARE(texts.size(), 1);
        QVERIFY(texts[0].startsWith(QStringLiteral("These files could not be read:\r\n\r\n") +
                                    other + QStringLiteral("\r\n")));
    }

    // A new user: load the samples, then start searching.
    void wholeSampleSearch() {
        const QString app = appFolderWithSamples();
        Window w(ini, config(app));
        QVERIFY(!w.form->ExtractorPath.isEmpty());
        w.boxes.answerQuestion(false);
        w.form->PushButton10_Click();
        QVERIFY(test::checkToEnd(*w.form));
        const QString s = app + QStringLiteral("/Samples/");
        const QString fruit = s + QStringLiteral("Fruit salad - password is quill.pdf");
        const QString scan = s + QStringLiteral("Scanned recipe card.pdf");
        // The add-time check reports the protected and the scanned sample.
        QStringList texts = w.boxes.messageTexts();
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts[0].startsWith(QStringLiteral("These files could not be read:\r\n\r\n") +
                                     fruit + QString::fromLatin1(kProtectedSuffix) +
                                     QStringLiteral("\r\n") + scan + QStringLiteral("\r\n\r\n")),
                 qPrintable(texts[0]));

        QVERIFY(test::searchToEnd(*w.form));
        const QStringList rows = w.rows();
        // "salad" in any letter case (the default ignores case), in list order.
        QCOMPARE(rows.size(), 9);
        QCOMPARE(rows.filter(s + QStringLiteral("Garden salad.pdf|")).size(), 4);
        QCOMPARE(rows.filter(s + QStringLiteral("Potato salad.pdf|")).size(), 4);
        QCOMPARE(rows.filter(s + QStringLiteral("Tomato soup.pdf|")).size(), 1);
        QVERIFY(rows[0].startsWith(s + QStringLiteral("Garden salad.pdf|")));
        QCOMPARE(rows.last(),
                 s + QStringLiteral("Tomato soup.pdf|... a small green salad on the si..."));
        texts = w.boxes.messageTexts();
        QCOMPARE(texts.last(),
                 QStringLiteral("Done.\r\nThe following files could not be read:\r\n") + fruit +
                     QString::fromLatin1(kProtectedSuffix) + QStringLiteral("\r\n") + scan +
                     QString::fromLatin1(kUnreadableSuffix));

        // With the password option ticked only the protected sample is asked for.
        w.form->Check1->setChecked(true);
        w.boxes.answerInput(QStringLiteral("quill"));
        const auto before = w.boxes.shown.size();
        QVERIFY(test::searchToEnd(*w.form));
        QStringList asked;
        for (auto k = before; k < w.boxes.shown.size(); ++k)
            if (w.boxes.shown[k].kind == ScriptedMessageBoxes::Kind::Input)
                asked << w.boxes.shown[k].text;
        QCOMPARE(asked, QStringList{passwordPrompt(fruit)});
        QVERIFY(w.rows().filter(fruit + u'|').size() > 0);
        QCOMPARE(w.boxes.messageTexts().last(),
                 QStringLiteral("Done.\r\nThe following files could not be read:\r\n") + scan +
                     QString::fromLatin1(kUnreadableSuffix));
    }
};

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
