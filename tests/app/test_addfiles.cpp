// Adding files to the list from the main window: the open dialog, the folder
// scan with its prompt and settings, drops from other programs, and moving
// entries by dragging. Services are scripted; a fake extractor stands in for
// pdftotext so that the check after each add reports the files named "bad".
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFocusEvent>
#include <QImage>
#include <QImageWriter>
#include <QMimeData>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTreeView>
#include <QUrl>
#include <QtTest>
#include <map>

#include "app/errorreport.h"
#include "app/form1.h"
#include "platform/settings.h"
#include "platform/workfolder.h"
#include "support/pdfmaker.h"
#include "support/scripted.h"
#include "support/window.h"

namespace qm {

namespace {

class RecordingSettings : public SettingsStore {
  public:
    QString getSetting(const QString& key, const QString& defaultValue) const override {
        auto it = values.find(key);
        return it == values.end() ? defaultValue : it->second;
    }
    void saveSetting(const QString& key, const QString& value) override {
        if (failWrites) throw Error(QStringLiteral("Permission denied"));
        values[key] = value;
        writes << key;
    }
    std::map<QString, QString> values;
    QStringList writes;
    bool failWrites = false;
};

const QString kPrompt = QStringLiteral(
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc "
    "files, etc.)");
const QString kTooMany = QStringLiteral(
    "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button.");
const QString kCheckStart = QStringLiteral("These files could not be read:");

}  // namespace

class AddFilesTest : public QObject {
    Q_OBJECT

    struct Window : test::TestWindow {
        RecordingSettings settings;

        Window(const QString& extractor, const QString& appFolder = QString()) {
            services.settings = &settings;
            Form1::Config config = test::windowConfig();
            config.applicationFolder = appFolder;
            open(config);
            form->ExtractorPath = extractor;
        }
        ~Window() { form.reset(); }  // before the store it writes to
        QStringList checkReports() const { return messagesStartingWith(kCheckStart); }
    };

    QTemporaryDir tmp;
    QString extractor;

    QString path(const QString& rel) const { return tmp.path() + u'/' + rel; }
    void touch(const QString& rel) {
        QVERIFY(QDir().mkpath(QFileInfo(path(rel)).path()));
        QFile f(path(rel));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("%PDF-1.4\n% " + rel.toUtf8() + "\n");
    }

  private Q_SLOTS:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        createWorkFolder();
        // Writes readable text for every file except those whose path (written
        // into the file by touch()) holds "bad".
        extractor = test::writeReadableExtractor(tmp.path());
    }
    void cleanupTestCase() { removeWorkFolder(); }

    // The list shows a name's bidirectional controls, and keeps the name as it is.
    void bidirectionalControlsShowInTheList() {
        Window w(extractor);
        const QString name = QStringLiteral("/docs/bidi\u202Eevil\u2066.pdf");
        w.form->fileList.add(name);
        QCOMPARE(w.form->fileList.data(w.form->fileList.index(0), Qt::DisplayRole).toString(),
                 QStringLiteral("/docs/bidi<U+202E>evil<U+2066>.pdf"));
        QCOMPARE(w.list(), QStringList{name});
    }

    // --- the open dialog ---

    void dialogAddsInOrderAndCancelStillChecks() {
        Window w(extractor);
        w.form->fileList.add(QStringLiteral("/nowhere/bad.pdf"));

        w.dialogs.openAnswers.push_back({});  // cancelled
        w.form->PushButton1_Click();
        QVERIFY(test::checkToEnd(*w.form));
        QCOMPARE(w.dialogs.requests.size(), size_t(1));
        QCOMPARE(w.dialogs.requests[0].kind, QStringLiteral("open"));
        QCOMPARE(w.dialogs.requests[0].title,
                 QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"));
        QCOMPARE(w.dialogs.requests[0].filter, QStringLiteral("PDF Files (*.pdf)"));
        QCOMPARE(w.list(), QStringList{QStringLiteral("/nowhere/bad.pdf")});
        QCOMPARE(w.checkReports().size(), 1);
        QVERIFY(w.checkReports()[0].contains(QStringLiteral("/nowhere/bad.pdf")));

        // One file exactly as returned; several as folder + "/" + name, the
        // root's doubled separator collapsed; a listed file again.
        w.dialogs.openAnswers.push_back({QStringLiteral("/docs//one.pdf")});
        w.dialogs.openAnswers.push_back(
            {QStringLiteral("/c.pdf"), QStringLiteral("/a.pdf"), QStringLiteral("/b.pdf")});
        w.dialogs.openAnswers.push_back(
            {QStringLiteral("/x/one.pdf"), QStringLiteral("/x/two.pdf")});
        w.dialogs.openAnswers.push_back({QStringLiteral("/x/one.pdf")});
        for (int i = 0; i < 4; ++i) {
            w.form->PushButton1_Click();
            QVERIFY(test::checkToEnd(*w.form));
        }
        QCOMPARE(w.list(), (QStringList{"/nowhere/bad.pdf", "/docs//one.pdf", "/c.pdf", "/a.pdf",
                                        "/b.pdf", "/x/one.pdf", "/x/two.pdf", "/x/one.pdf"}));
        QCOMPARE(w.checkReports().size(), 5);
        for (const auto& s : w.boxes.shown) QCOMPARE(s.title, applicationTitle());
    }

    void tooLargeSelectionIsRefusedWhole() {
        Window w(extractor);
        w.form->fileList.add(QStringLiteral("/nowhere/bad.pdf"));
        // One path of exactly 30,000 characters still fits.
        const QString fits = u'/' + QString(29995, u'a') + QStringLiteral(".pdf");
        QCOMPARE(fits.size(), 30000);
        w.dialogs.openAnswers.push_back({fits});
        w.form->PushButton1_Click();
        QVERIFY(test::checkToEnd(*w.form));
        QCOMPARE(w.form->fileList.count(), 2);
        QCOMPARE(w.checkReports().size(), 1);

        // Folder "/f" (2) and 300 names of 99 characters with their NULs: 30,002.
        QStringList many;
        for (int i = 0; i < 300; ++i)
            many << QStringLiteral("/f/") + QString::number(i).rightJustified(3, u'0') +
                        QString(92, u'n') + QStringLiteral(".pdf");
        w.dialogs.openAnswers.push_back(many);
        w.boxes.shown.clear();
        w.form->PushButton1_Click();
        QVERIFY(test::checkToEnd(*w.form));
        QCOMPARE(w.form->fileList.count(), 2);
        QCOMPARE(w.boxes.shown.size(), size_t(1));
        QCOMPARE(w.boxes.shown[0].kind, ScriptedMessageBoxes::Kind::Message);
        QCOMPARE(w.boxes.shown[0].text, kTooMany);
        QCOMPARE(w.boxes.shown[0].title, applicationTitle());
        QCOMPARE(w.boxes.shown[0].icon, MessageBoxes::Icon::None);

        // One name fewer fits (29,902) and is added in full.
        many.removeLast();
        w.dialogs.openAnswers.push_back(many);
        w.form->PushButton1_Click();
        QVERIFY(test::checkToEnd(*w.form));
        QCOMPARE(w.form->fileList.count(), 2 + 299);
        QCOMPARE(w.form->fileList.text(3), many[0]);
    }

    // --- the folder scan ---

    void promptCancelEndsWithoutCheckOrSettings() {
        Window w(extractor);
        w.form->fileList.add(QStringLiteral("/nowhere/bad.pdf"));
        w.boxes.answerInput(QString());
        w.form->PushButton6_Click();
        QVERIFY(test::checkToEnd(*w.form));
        QCOMPARE(w.boxes.shown.size(), size_t(1));
        QCOMPARE(w.boxes.shown[0].kind, ScriptedMessageBoxes::Kind::Input);
        QCOMPARE(w.boxes.shown[0].text, kPrompt);
        QCOMPARE(w.boxes.shown[0].title, applicationTitle());
        QCOMPARE(w.boxes.shown[0].defaultText, QStringLiteral("pdf"));
        QVERIFY(w.dialogs.requests.empty());
        QVERIFY(w.settings.writes.isEmpty());
        QVERIFY(w.checkReports().isEmpty());
    }

    void folderCancelSavesExtensionOnlyAndChecks() {
        Window w(extractor);
        w.form->fileList.add(QStringLiteral("/nowhere/bad.pdf"));
        w.settings.values[QStringLiteral("Extension")] = QStringLiteral("doc");
        w.settings.values[QStringLiteral("LastFolder")] = QStringLiteral("/srv/last");
        w.boxes.answerInput(QStringLiteral("TxT"));
        w.dialogs.folderAnswers.push_back(QString());
        w.form->PushButton6_Click();
        QVERIFY(test::checkToEnd(*w.form));
        QCOMPARE(w.boxes.shown[0].defaultText, QStringLiteral("doc"));
        QCOMPARE(w.dialogs.requests.size(), size_t(1));
        QCOMPARE(w.dialogs.requests[0].kind, QStringLiteral("folder"));
        QCOMPARE(w.dialogs.requests[0].title, QStringLiteral("Please select folder:"));
        QCOMPARE(w.dialogs.requests[0].initialFolder, QStringLiteral("/srv/last"));
        QCOMPARE(w.settings.writes, QStringList{QStringLiteral("Extension")});
        QCOMPARE(w.settings.values[QStringLiteral("Extension")], QStringLiteral("TxT"));
        QCOMPARE(w.settings.values[QStringLiteral("LastFolder")], QStringLiteral("/srv/last"));
        QCOMPARE(w.checkReports().size(), 1);
    }

    void scanAddsTheTreeLevelByLevelWhileBusy() {
        touch(QStringLiteral("scan/top.pdf"));
        touch(QStringLiteral("scan/~lock.pdf"));
        touch(QStringLiteral("scan/.hidden.pdf"));
        touch(QStringLiteral("scan/notes.txt"));
        touch(QStringLiteral("scan/sub/deeper/bad.PDF"));
        touch(QStringLiteral("scan/sub/mid.Pdf"));
        touch(QStringLiteral("scan/.cache/skipped.pdf"));

        Window w(extractor);
        w.boxes.answerInput(QStringLiteral("pdf"));
        w.dialogs.folderAnswers.push_back(path(QStringLiteral("scan")));
        w.form->PushButton6_Click();
        QVERIFY(test::checkToEnd(*w.form));
        const QStringList expected{path(QStringLiteral("scan/top.pdf")),
                                   path(QStringLiteral("scan/sub/mid.Pdf")),
                                   path(QStringLiteral("scan/sub/deeper/bad.PDF"))};
        QCOMPARE(w.list(), expected);
        QCOMPARE(w.settings.writes, (QStringList{"Extension", "LastFolder"}));
        QCOMPARE(w.settings.values[QStringLiteral("LastFolder")], path(QStringLiteral("scan")));
        // Busy before the walk, while nothing is listed yet.
        QCOMPARE(w.form->pointers.front(), int(MousePointer::Busy));
        QCOMPARE(w.form->pointerListSizes.front(), 0);
        QCOMPARE(w.form->mousePointer(), int(MousePointer::Default));
        QCOMPARE(w.checkReports().size(), 1);
        QVERIFY(w.checkReports()[0].contains(path(QStringLiteral("scan/sub/deeper/bad.PDF"))));

        // The next scan offers the last answers and, with "*", lists every file again.
        w.boxes.answerInput(QStringLiteral("*"));
        w.dialogs.folderAnswers.push_back(path(QStringLiteral("scan")));
        w.form->PushButton6_Click();
        QVERIFY(test::checkToEnd(*w.form));
        QCOMPARE(w.boxes.shown.back().kind, ScriptedMessageBoxes::Kind::Message);
        QCOMPARE(w.dialogs.requests.back().initialFolder, path(QStringLiteral("scan")));
        QStringList second = w.list().mid(3);
        second.sort();
        QStringList all = expected;
        all << path(QStringLiteral("scan/notes.txt"));
        all.sort();
        QCOMPARE(second, all);
    }

    void failuresAreReportedAndTheScanGoesOn() {
        touch(QStringLiteral("ro/only.pdf"));
        Window w(extractor);
        w.settings.failWrites = true;
        w.boxes.answerInput(QStringLiteral("pdf"));
        w.dialogs.folderAnswers.push_back(path(QStringLiteral("ro")));
        w.form->PushButton6_Click();
        QVERIFY(test::checkToEnd(*w.form));
        QCOMPARE(w.list(), QStringList{path(QStringLiteral("ro/only.pdf"))});
        const QStringList texts = w.boxes.messageTexts();
        QCOMPARE(texts.size(), 2);
        const QString tail =
            QStringLiteral("\r\rPlease email screenshot of this message to ") + supportEmail();
        QCOMPARE(texts[0],
                 QStringLiteral("Permission denied\r\nin "
                                "Kestrova2021/08/31.Form1.PushButton6_Click at line 102") +
                     tail);
        QCOMPARE(texts[1],
                 QStringLiteral("Permission denied\r\nin "
                                "Kestrova2021/08/31.Form1.PushButton6_Click at line 106") +
                     tail);
        QCOMPARE(w.boxes.shown[1].title, QStringLiteral("Application Error"));
    }

    // --- drops ---

    void dropAddsFilesAsDroppedAndWalksFolders() {
        touch(QStringLiteral("drop/one/a.txt"));
        touch(QStringLiteral("drop/one/inner/b.pdf"));
        touch(QStringLiteral("drop/one/~tmp.doc"));
        touch(QStringLiteral("drop/two/c.bin"));
        touch(QStringLiteral("drop/loose.txt"));
        touch(QStringLiteral("drop/bad.pdf"));

        Window w(extractor);
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(path(QStringLiteral("drop/loose.txt"))),
                       QUrl::fromLocalFile(path(QStringLiteral("drop/bad.pdf")))});
        QDragEnterEvent over(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w.form->ListView1->viewport(), &over);
        QVERIFY(over.isAccepted());

        // Shift proposes a move; a drop is always taken as a copy, and at once:
        // nothing is walked or checked inside the drop event.
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, &files, Qt::LeftButton,
                        Qt::ShiftModifier);
        QCOMPARE(drop.proposedAction(), Qt::MoveAction);
        QCoreApplication::sendEvent(w.form->ListView1->viewport(), &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(drop.dropAction(), Qt::CopyAction);
        QVERIFY(w.list().isEmpty());
        QCOMPARE(w.pump.count, 0);
        QVERIFY(w.boxes.shown.empty());
        QCoreApplication::sendPostedEvents(w.form.get(), QEvent::MetaCall);
        QVERIFY(test::checkToEnd(*w.form));
        QCOMPARE(w.list(), (QStringList{path(QStringLiteral("drop/loose.txt")),
                                        path(QStringLiteral("drop/bad.pdf"))}));
        QCOMPARE(w.checkReports().size(), 1);

        QMimeData folders;
        folders.setUrls({QUrl::fromLocalFile(path(QStringLiteral("drop/one/"))),
                         QUrl::fromLocalFile(path(QStringLiteral("drop/two")))});
        // The walk comes before anything is added; the check runs afterwards.
        const std::size_t pointersBefore = w.form->pointers.size();
        QDropEvent drop2(QPointF(5, 5), Qt::CopyAction, &folders, Qt::LeftButton, Qt::NoModifier);
        w.form->ListView1_OLEDragDrop(&drop2);
        QCOMPARE(w.list().size(), 2);
        QCoreApplication::sendPostedEvents(w.form.get(), QEvent::MetaCall);
        QVERIFY(test::checkToEnd(*w.form));
        QCOMPARE(w.list().mid(2), (QStringList{path(QStringLiteral("drop/one/a.txt")),
                                               path(QStringLiteral("drop/one/inner/b.pdf")),
                                               path(QStringLiteral("drop/two/c.bin"))}));
        QCOMPARE(w.checkReports().size(), 2);
        QVERIFY(w.settings.writes.isEmpty());
        // A drop walks without marking the window busy: the first pointer
        // after it is the check's, once the files are listed.
        QVERIFY(w.form->pointers.size() > pointersBefore);
        QCOMPARE(w.form->pointerListSizes.at(pointersBefore), 5);
    }

    void textIsRefused() {
        Window w(extractor);
        w.form->fileList.add(QStringLiteral("/nowhere/bad.pdf"));
        QMimeData text;
        text.setText(QStringLiteral("/etc/passwd"));
        QDragEnterEvent over(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w.form->ListView1->viewport(), &over);
        QVERIFY(!over.isAccepted());
        QCOMPARE(over.dropAction(), Qt::IgnoreAction);

        QMimeData web;
        web.setUrls({QUrl(QStringLiteral("https://example.invalid/a.pdf"))});
        QDragMoveEvent move(QPoint(5, 5), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
        w.form->ListView1_OLEDragOver(&move);
        QVERIFY(!move.isAccepted());

        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w.form->ListView1->viewport(), &drop);
        QVERIFY(!drop.isAccepted());
        QCOMPARE(w.list(), QStringList{QStringLiteral("/nowhere/bad.pdf")});
        QVERIFY(w.boxes.shown.empty());
    }

    // --- reordering ---

    void dragMovesTheEntryStepByStep();
    void aLostReleaseEndsTheDrag();
    void jumpSwapsOnlyTwoAndDuplicatesStay();
    void dragPointerAndScrolling();
    void theProgramsOwnDragPointerIsBesideIt();
};

namespace {

struct Drag {
    QTreeView* view;
    QPoint centre(int position) const {
        return view->visualRect(view->model()->index(position - 1, 0)).center();
    }
    void send(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(at), QPointF(view->viewport()->mapToGlobal(at)), button,
                      buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &e);
    }
    void press(int position) {
        send(QEvent::MouseButtonPress, centre(position), Qt::LeftButton, Qt::LeftButton);
    }
    void moveTo(int position) { moveToPoint(centre(position)); }
    void moveToPoint(QPoint at) { send(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton); }
    void release(QPoint at) { send(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton); }
};

}  // namespace

void AddFilesTest::dragMovesTheEntryStepByStep() {
    Window w(extractor);
    w.form->fileList.add(QStringList{"/first.pdf", "/second.pdf", "/third.pdf", "/fourth.pdf"});
    w.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    Drag d{w.form->ListView1};
    d.press(1);
    QCOMPARE(w.form->ListView1->viewport()->cursor().shape(), Qt::ClosedHandCursor);
    d.moveTo(1);
    d.moveTo(2);
    d.moveTo(3);
    QCOMPARE(w.list(), (QStringList{"/second.pdf", "/third.pdf", "/first.pdf", "/fourth.pdf"}));
    QCOMPARE(w.form->fileList.selected(), 3);
    QCOMPARE(w.form->ListView1->currentIndex().row(), 2);
    d.release(d.centre(3));
    QCOMPARE(w.form->ListView1->viewport()->cursor().shape(), Qt::ArrowCursor);
    // Moving without a held button changes nothing.
    d.send(QEvent::MouseMove, d.centre(1), Qt::NoButton, Qt::NoButton);
    QCOMPARE(w.list(), (QStringList{"/second.pdf", "/third.pdf", "/first.pdf", "/fourth.pdf"}));
}

// The release can be swallowed (a box opened while the button was held): a
// later move without the button, leaving the list or losing the focus ends
// the drag, and moves after that reorder nothing.
void AddFilesTest::aLostReleaseEndsTheDrag() {
    Window w(extractor);
    w.form->fileList.add(QStringList{"/1.pdf", "/2.pdf", "/3.pdf"});
    w.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    Drag d{w.form->ListView1};
    const QStringList afterOne{"/2.pdf", "/1.pdf", "/3.pdf"};
    d.press(1);
    d.moveTo(2);
    QCOMPARE(w.list(), afterOne);
    d.send(QEvent::MouseMove, d.centre(3), Qt::NoButton, Qt::NoButton);
    QCOMPARE(w.list(), afterOne);
    QCOMPARE(w.form->ListView1->viewport()->cursor().shape(), Qt::ArrowCursor);
    d.moveTo(3);  // the button is reported held again, but no press began a drag
    QCOMPARE(w.list(), afterOne);

    d.press(2);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(w.form->ListView1->viewport(), &leave);
    d.moveTo(3);
    QCOMPARE(w.list(), afterOne);

    d.press(2);
    QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(w.form->ListView1, &out);
    d.moveTo(1);
    QCOMPARE(w.list(), afterOne);

    // A drag with the button held still works.
    d.press(2);
    d.moveTo(3);
    QCOMPARE(w.list(), (QStringList{"/2.pdf", "/3.pdf", "/1.pdf"}));
}

void AddFilesTest::jumpSwapsOnlyTwoAndDuplicatesStay() {
    Window w(extractor);
    w.form->fileList.add(QStringList{"/1.pdf", "/2.pdf", "/3.pdf", "/4.pdf", "/1.pdf"});
    w.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    Drag d{w.form->ListView1};
    d.press(1);
    d.moveTo(4);
    QCOMPARE(w.list(), (QStringList{"/4.pdf", "/2.pdf", "/3.pdf", "/1.pdf", "/1.pdf"}));
    // Over its duplicate the entry does not move, and keeps being the dragged one.
    d.moveTo(5);
    QCOMPARE(w.list(), (QStringList{"/4.pdf", "/2.pdf", "/3.pdf", "/1.pdf", "/1.pdf"}));
    d.moveTo(2);
    QCOMPARE(w.list(), (QStringList{"/4.pdf", "/1.pdf", "/3.pdf", "/2.pdf", "/1.pdf"}));
    d.release(d.centre(2));

    // A removed entry stops being the dragged one: a press on empty space then
    // moves nothing.
    w.form->ListView1_ItemClick(2);
    w.form->fileList.remove(2);
    d.send(QEvent::MouseButtonPress, QPoint(5, w.form->ListView1->viewport()->height() - 2),
           Qt::LeftButton, Qt::LeftButton);
    d.moveTo(1);
    QCOMPARE(w.list(), (QStringList{"/4.pdf", "/3.pdf", "/2.pdf", "/1.pdf"}));
}

void AddFilesTest::dragPointerAndScrolling() {
    QTemporaryDir app;
    QVERIFY(app.isValid());
    if (!QImageWriter::supportedImageFormats().contains("ico"))
        QSKIP("no ICO image support to make drag.ico");
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    QVERIFY(icon.save(app.path() + QStringLiteral("/drag.ico"), "ICO"));

    Window w(extractor, app.path());
    QStringList many;
    for (int i = 1; i <= 100; ++i) many << QStringLiteral("/f%1.pdf").arg(i);
    w.form->fileList.add(many);
    w.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    QTreeView* view = w.form->ListView1;
    Drag d{view};
    d.press(1);
    QCOMPARE(view->viewport()->cursor().shape(), Qt::BitmapCursor);

    // Walk the entry down to the row whose centre lies within one row of the
    // bottom edge: there the list scrolls so that the next entry shows whole.
    const int rowHeight = view->visualRect(w.form->fileList.index(0)).height();
    const int height = view->viewport()->height();
    int edge = 1;
    while (d.centre(edge).y() < height - rowHeight) ++edge;
    QVERIFY(d.centre(edge).y() < height);
    QVERIFY(view->visualRect(w.form->fileList.index(edge)).bottom() >= height);
    for (int p = 2; p < edge; ++p) d.moveTo(p);
    QCOMPARE(view->visualRect(w.form->fileList.index(0)).top(), 0);  // not yet scrolled
    d.moveTo(edge);
    QCOMPARE(w.form->fileList.text(edge), QStringLiteral("/f1.pdf"));
    QVERIFY(view->visualRect(w.form->fileList.index(edge)).bottom() < height);
    QVERIFY(view->visualRect(w.form->fileList.index(0)).top() < 0);

    // Back up at the top edge it scrolls the other way.
    view->scrollTo(w.form->fileList.index(10), QAbstractItemView::PositionAtTop);
    d.moveTo(12);
    d.moveTo(11);
    QCOMPARE(w.form->fileList.text(11), QStringLiteral("/f1.pdf"));
    QVERIFY(view->visualRect(w.form->fileList.index(9)).top() >= 0);
    d.release(d.centre(11));
    QCOMPARE(view->viewport()->cursor().shape(), Qt::ArrowCursor);
}

// The build puts the project's own drag pointer beside the program, and the
// list shows it while an entry is held.
void AddFilesTest::theProgramsOwnDragPointerIsBesideIt() {
    const QString folder = qEnvironmentVariable("QM_BINARY_DIR") + QStringLiteral("/src/app");
    QVERIFY(QFile::exists(folder + QStringLiteral("/quillmark")));
    QImage picture(folder + QStringLiteral("/drag.ico"));
    QVERIFY(!picture.isNull());
    QCOMPARE(picture.size(), QSize(32, 32));
    int opaque = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) opaque += qAlpha(picture.pixel(x, y)) > 0;
    QVERIFY(opaque > 100);

    Window w(extractor, folder);
    w.form->fileList.add(QStringList{"/1.pdf", "/2.pdf"});
    w.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    Drag d{w.form->ListView1};
    d.press(1);
    QCOMPARE(w.form->ListView1->viewport()->cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(w.form->ListView1->viewport()->cursor().pixmap().size(), QSize(32, 32));
    d.release(d.centre(1));
}

}  // namespace qm

QTEST_MAIN(qm::AddFilesTest)
#include "test_addfiles.moc"
