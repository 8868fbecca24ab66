// Start-up, shutdown and the sample files.
#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSignalBlocker>
#include <QTreeView>
#include <cmath>

#include "app/errorreport.h"
#include "app/form1.h"
#include "app/form1_searchcontrols.h"
#include "app/hovercursor.h"
#include "app/twips.h"
#include "app/windowplacement.h"
#include "extraction/child.h"
#include "extraction/extractor.h"
#include "extraction/readability.h"
#include "filelist/folderscan.h"
#include "fs/fs.h"
#include "platform/settings.h"
#include "platform/workfolder.h"
#include "terms/storedvalues.h"

namespace qm {

QString extractorMissingMessage() {
    return QStringLiteral(
        "The text extractor \"pdftotext\" was not found, so no PDF file can be searched.\r\n\r\n"
        "Please install the package poppler-utils (for example with the command "
        "\"sudo apt install poppler-utils\") and start Quillmark again.");
}

namespace {

const QString kProductName = QStringLiteral("Quillmark");

}  // namespace

void Form1::Form_Load() {
    Procedure p(*services_.boxes, QStringLiteral("Form1"), QStringLiteral("Form_Load"));

    p.step(100, [&] { applySkin(); });

    // The hand shown over push buttons.
    bool hasCursorFile = false;
    p.step(102, [&] {
        hasCursorFile = fs::exists(config_.applicationFolder + QStringLiteral("/HAND-M.CUR"));
    });
    if (hasCursorFile)
        p.step(104, [&] { hoverCursor_ = loadHoverCursor(config_.applicationFolder); });

    p.step(106, [&] { openWebSiteOccasionally(); });

    // Caption and application title.
    p.step(130, [&] {
        setWindowTitle(kProductName);
        setWindowIcon(QIcon(QStringLiteral(":/quillmark.svg")));
        // The title of every box shown without a title of its own.
        setApplicationTitle(applicationTitleFromName(kProductName));
    });

    // List columns: the models give the headers; the widths are set here.
    p.step(132, [&] { ListView1->header()->setVisible(true); });
    p.step(134, [&] { ListView1->setColumnWidth(0, twipsToPixels(7000)); });
    p.step(136, [&] { ListView2->header()->setVisible(true); });
    p.step(140, [&] { ListView2->setColumnWidth(0, twipsToPixels(3500)); });
    p.step(142, [&] { ListView2->setColumnWidth(1, twipsToPixels(3500)); });

    // The text extractor (steps 144 to 156).
    QString found;
    p.step(144, [&] { found = findExtractor(); });
    p.step(146, [&] {
        if (found.isEmpty())
            services_.boxes->message(extractorMissingMessage(), applicationTitle(),
                                     MessageBoxes::Icon::Warning);
    });
    p.step(156, [&] { ExtractorPath = found; });

    // Without a safe place for the work files no search can run: said once here,
    // and again by every start of a search.
    if (workFolder().isEmpty())
        services_.boxes->message(workFolderProblem(), applicationTitle(),
                                 MessageBoxes::Icon::Warning);

    // Search controls from the settings store (steps 158 to 184).
    Form1SearchControls controls(*this);
    const CallingProcedure caller(callingProcedure, p);
    restoreSearchOptions(p, *services_.settings, controls);
    // The match options' boxes, each from its key (steps 186 to 192).
    const struct {
        int step;
        QCheckBox* box;
        const char* key;
    } boxes[] = {{186, Check2, "Loose"},
                 {188, Check5, "WholeWords"},
                 {190, Check6, "IgnoreAccents"},
                 {192, Check7, "Regex"}};
    for (const auto& b : boxes) {
        p.step(b.step, [&] {
            const QString key = QString::fromLatin1(b.key);
            b.box->setChecked(parseStoredBoolean(
                key, services_.settings->getSetting(key, QStringLiteral("False"))));
        });
    }
    p.step(187, [&] {
        const QSignalBlocker quiet(Check4);
        Check4->setChecked(parseStoredBoolean(
            QStringLiteral("AllText"),
            services_.settings->getSetting(QStringLiteral("AllText"), QStringLiteral("False"))));
    });
    setUpOcrBox(p);
    // The first thing typed is the phrase.
    Text1->setFocus(Qt::OtherFocusReason);
}

// With the skin file "x/o.cjs" beside the program, the window and its option
// buttons, check box, frames and labels take the system's button-face colour;
// without it the window keeps its white background. No skin engine exists
// here, so nothing else is loaded.
void Form1::applySkin() {
    if (!QFileInfo::exists(config_.applicationFolder + QStringLiteral("/x/o.cjs"))) return;
    const QColor face = palette().color(QPalette::Button);
    auto paint = [&face](QWidget* w) {
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, face);
        w->setPalette(pal);
        w->setAutoFillBackground(true);
    };
    paint(this);
    for (QWidget* w : findChildren<QWidget*>()) {
        if (qobject_cast<QRadioButton*>(w) || qobject_cast<QCheckBox*>(w) ||
            qobject_cast<QGroupBox*>(w) || qobject_cast<QLabel*>(w))
            paint(w);
    }
}

// One start in about a hundred opens the maker's web site: a draw of 1 to 100
// that comes out 7. Nothing is opened while the address is empty.
void Form1::openWebSiteOccasionally() {
    const double r =
        config_.randomUnit ? config_.randomUnit() : QRandomGenerator::global()->generateDouble();
    const int n = static_cast<int>(std::floor(r * 100)) + 1;
    if (n == 7 && !config_.webSiteAddress.isEmpty())
        services_.desktop->openUrl(config_.webSiteAddress);
}

// Ends a running extraction and the program at once, also in the middle of a
// search, a folder scan or a wait: every setting was written when it changed,
// so there is nothing left to save. The private work folder goes with it.
void Form1::Form_Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    keepWindowPlacement(*this);
    StopRequested = true;
    endAllExtractions();
    removeWorkFolder();
    if (config_.endProgram)
        config_.endProgram();
    else
        QCoreApplication::exit(0);
}

// --- sample files ---

QString Form1::sampleFolder() const {
    const QString beside = config_.applicationFolder + QStringLiteral("/Samples");
    if (fs::isFolder(beside) || config_.installedSamplesFolder.isEmpty()) return beside;
    return config_.installedSamplesFolder;
}

void Form1::loadSampleFiles(FileList& list) {
    const QString folder = sampleFolder();
    const QStringList names = listMatchingFiles(folder, QStringLiteral("*.*"));
    for (const QString& name : names) {
        const QString path = folder + u'/' + name;
        if (fs::exists(path) && !list.contains(path)) list.add(path);
    }
    if (services_.boxes->question(
            QStringLiteral("Would you like this software to open the folder where these sample "
                           "files are stored (so that you can view them before working with "
                           "them)?"),
            applicationTitle()))
        services_.desktop->openDocument(folder);
}

void Form1::PushButton10_Click() {
    Procedure p(*services_.boxes, QStringLiteral("Form1"), QStringLiteral("PushButton10_Click"));
    p.step(100, [&] { loadSampleFiles(fileList); });
    p.step(102, [&] {
        const CallingProcedure caller(callingProcedure, p);
        setSinglePhrase(QStringLiteral("salad"));
    });
    p.step(104, [&] { runAddTimeCheck(); });
}

}  // namespace qm
