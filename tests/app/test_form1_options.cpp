// The search controls, the find-set buttons, the file-list removal commands, the
// hover pointer and "Help" of the main window, driven through its controls with
// scripted boxes and dialogs and a settings store in a temporary INI file.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QImageWriter>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QWheelEvent>
#include <functional>
#include <memory>

#include "app/form1.h"
#include "platform/settings.h"
#include "support/inistore.h"
#include "support/scripted.h"
#include "support/window.h"
#include "text/error.h"
#include "words/words.h"

using namespace qm;

namespace {

const QString kReportTail = QStringLiteral("\r\rPlease email screenshot of this message to ");

QString at(const char* procedure, int step) {
    return QStringLiteral("\r\nin Kestrova2021/08/31.Form1.") + QLatin1String(procedure) +
           QStringLiteral(" at line ") + QString::number(step) + kReportTail;
}

// The window with its start-up (Form_Load) run.
struct Window : test::TestWindow {
    explicit Window(const QString& ini, const QString& appFolder = QString()) {
        useIni(ini);
        Form1::Config config;
        config.applicationFolder = appFolder;
        open(config);
    }
};

}  // namespace

class Form1OptionsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    QString ini;

    // What the INI file holds now, read by a store of its own.
    QString stored(const QString& key) const { return test::storedValue(ini, key); }
    void store(const QString& key, const QString& value) { test::storeValue(ini, key, value); }
    QString path(const QString& name) const { return tmp->filePath(name); }
    void writeFile(const QString& name, const QByteArray& bytes) {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

  private Q_SLOTS:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        ini = tmp->filePath(QStringLiteral("Veltrane.ini"));
    }

    // The bar shows a file name as it is, "%" signs included.
    void progressTextIsShownAsGiven() {
        Window w(ini);
        const QString name = QStringLiteral("Processing: 50%p off %v%m 100%%.pdf");
        w.form->setText(name);
        w.form->setValue(40);
        QCOMPARE(w.form->ProgressBar1->text(), name);
        QCOMPARE(w.form->text(), name);
        QCOMPARE(w.form->ProgressBar1->value(), 40);
    }

    void windowHasEveryControlByNameAndTheDesignedSize() {
        Window w(ini);
        Form1& f = *w.form;
        const QList<QPair<QWidget*, QString>> controls{{f.PushButton1, "PushButton1"},
                                                       {f.PushButton2, "PushButton2"},
                                                       {f.PushButton3, "PushButton3"},
                                                       {f.PushButton4, "PushButton4"},
                                                       {f.PushButton5, "PushButton5"},
                                                       {f.PushButton6, "PushButton6"},
                                                       {f.PushButton7, "PushButton7"},
                                                       {f.PushButton8, "PushButton8"},
                                                       {f.PushButton9, "PushButton9"},
                                                       {f.PushButton10, "PushButton10"},
                                                       {f.PushButton11, "PushButton11"},
                                                       {f.PushButton12, "PushButton12"},
                                                       {f.PushButton13, "PushButton13"},
                                                       {f.PushButton14, "PushButton14"},
                                                       {f.PushButton15, "PushButton15"},
                                                       {f.PushButton16, "PushButton16"},
                                                       {f.ListView1, "ListView1"},
                                                       {f.ListView2, "ListView2"},
                                                       {f.Frame1, "Frame1"},
                                                       {f.Frame2, "Frame2"},
                                                       {f.Frame3, "Frame3"},
                                                       {f.Option1, "Option1"},
                                                       {f.Option2, "Option2"},
                                                       {f.Option3, "Option3"},
                                                       {f.Option4, "Option4"},
                                                       {f.Check1, "Check1"},
                                                       {f.Check2, "Check2"},
                                                       {f.Text1, "Text1"},
                                                       {f.Combo1, "Combo1"},
                                                       {f.ProgressBar1, "ProgressBar1"}};
        for (const auto& [widget, name] : controls) {
            QVERIFY2(widget, qPrintable(name));
            QCOMPARE(widget->objectName(), name);
            QCOMPARE(f.findChild<QWidget*>(name), widget);
        }
        QCOMPARE(f.objectName(), QStringLiteral("Form1"));
        QCOMPARE(f.size(), QSize(1064, 495));
        // The designed size is the smallest; the window grows and maximizes.
        QCOMPARE(f.minimumSize(), QSize(1064, 495));
        QVERIFY(f.windowFlags() & Qt::WindowMaximizeButtonHint);
        QCOMPARE(f.windowTitle(), QStringLiteral("Quillmark"));
        QCOMPARE(applicationTitle(), QStringLiteral("Quillmark"));

        // Frame children sit where the layout puts them, relative to the frame.
        QCOMPARE(f.Option3->parentWidget(), f.Frame1);
        QCOMPARE(f.PushButton7->parentWidget(), f.Frame1);
        QCOMPARE(f.Option1->parentWidget(), f.Frame2);
        QCOMPARE(f.Check1->parentWidget(), f.Frame3);
        QCOMPARE(f.Frame1->geometry(), QRect(536, 2, 520, 120));
        QCOMPARE(f.PushButton15->geometry(), QRect(473, 49, 31, 23));

        // Columns and widths set at start-up.
        QCOMPARE(f.ListView1->model()->columnCount(), 1);
        QCOMPARE(f.ListView1->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral(" PDF File(s)"));
        QCOMPARE(f.ListView1->columnWidth(0), 467);
        QCOMPARE(f.ListView2->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("Results (File)"));
        QCOMPARE(f.ListView2->model()->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral(" Where"));
        QCOMPARE(f.ListView2->columnWidth(0), 233);
        QCOMPARE(f.ListView2->columnWidth(1), 233);
        QCOMPARE(f.ListView1->toolTip(),
                 QStringLiteral("Drag and drop files here. Double-click item to remove it. Move | "
                                "line to right and out of window to reveal full names."));
        QCOMPARE(f.ListView2->toolTip(),
                 QStringLiteral("Move | line to right and out of window to reveal full names."));
    }

    void firstStartShowsTheFreshStateWithoutMessages() {
        Window w(ini);
        Form1& f = *w.form;
        QVERIFY(f.Option3->isChecked());
        QVERIFY(!f.Option4->isChecked());
        QVERIFY(f.Option2->isChecked());
        QVERIFY(!f.Option1->isChecked());
        QVERIFY(!f.Check1->isChecked());
        QVERIFY(f.Text1->text().isEmpty());
        QCOMPARE(f.Combo1->count(), 0);
        QVERIFY(w.boxes.shown.empty());
        const SearchOptions o = f.searchOptions();
        QCOMPARE(o.mode, SearchMode::Single);
        QCOMPARE(o.caseMode, CaseMode::IgnoreCase);
    }

    void typingStoresEachKeystrokeAndSelectsTheSinglePhrase() {
        Window w(ini);
        Form1& f = *w.form;
        QTest::mouseClick(f.Option4, Qt::LeftButton);
        QVERIFY(f.Option4->isChecked());
        QCOMPARE(stored("Option3"), QStringLiteral("False"));
        QCOMPARE(stored("Option4"), QStringLiteral("True"));

        QTest::keyClick(f.Text1, Qt::Key_S);
        QCOMPARE(stored("Text1"), QStringLiteral("s"));
        QVERIFY(f.Option3->isChecked());
        QCOMPARE(stored("Option3"), QStringLiteral("True"));
        QCOMPARE(stored("Option4"), QStringLiteral("False"));
        QTest::keyClicks(f.Text1, QStringLiteral("alad "));
        QCOMPARE(stored("Text1"), QStringLiteral("salad "));  // kept as typed, blank included

        // With the single phrase selected already, a change still stores the mode.
        store("Option3", "junk");
        QTest::keyClick(f.Text1, Qt::Key_Backspace);
        QCOMPARE(stored("Text1"), QStringLiteral("salad"));
        QCOMPARE(stored("Option3"), QStringLiteral("True"));

        // Setting the phrase from elsewhere is a change, also when the text is the same.
        QTest::mouseClick(f.Option4, Qt::LeftButton);
        f.setSinglePhrase(QStringLiteral("salad"));
        QVERIFY(f.Option3->isChecked());
        QCOMPARE(stored("Option4"), QStringLiteral("False"));
        QVERIFY(w.boxes.shown.empty());
    }

    void focusOnTheFindSetsSelectsMultipleAndStoresTheMode() {
        Window w(ini);
        Form1& f = *w.form;
        QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
        QApplication::sendEvent(f.Combo1, &in);
        QVERIFY(f.Option4->isChecked());
        QVERIFY(!f.Option3->isChecked());
        QCOMPARE(stored("Option3"), QStringLiteral("False"));
        QCOMPARE(stored("Option4"), QStringLiteral("True"));
        QCOMPARE(stored("Text1"), QStringLiteral("<missing>"));

        store("Option4", "junk");
        QApplication::sendEvent(f.Combo1, &in);
        QCOMPARE(stored("Option4"), QStringLiteral("True"));
    }

    // Tab passing over the find sets leaves the mode as it is; opening,
    // picking from or typing into the list selects "Search for multiple:".
    void onlyUsingTheFindSetsSelectsMultiple() {
        Window w(ini);
        Form1& f = *w.form;
        f.Combo1->addItems({QStringLiteral("soup"), QStringLiteral("salad")});
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.Text1->setFocus(Qt::OtherFocusReason);
        QTest::keyClicks(f.Text1, QStringLiteral("fox"));
        QVERIFY(f.Option3->isChecked());
        // Tab on to "Start Searching", over the find sets, and back.
        bool passed = false;
        for (int i = 0; i < 30 && QApplication::focusWidget() != f.PushButton7; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            passed = passed || QApplication::focusWidget() == f.Combo1;
        }
        QVERIFY(passed);
        QCOMPARE(QApplication::focusWidget(), f.PushButton7);
        while (QApplication::focusWidget() != f.Combo1)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QVERIFY(f.Option3->isChecked());
        QCOMPARE(stored("Option4"), QStringLiteral("False"));

        // A key that picks an entry, a click, the wheel.
        using Use = std::function<void()>;
        const std::vector<std::pair<const char*, Use>> uses{
            {"key", [&] { QTest::keyClick(f.Combo1, Qt::Key_Down); }},
            {"click", [&] { QTest::mousePress(f.Combo1, Qt::LeftButton); }},
            {"wheel", [&] {
                 QWheelEvent wheel(QPointF(5, 5), f.Combo1->mapToGlobal(QPointF(5, 5)), QPoint(),
                                   QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                                   false);
                 QApplication::sendEvent(f.Combo1, &wheel);
             }}};
        for (const auto& [what, use] : uses) {
            f.Option3->setChecked(true);
            use();
            if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
            QVERIFY2(f.Option4->isChecked(), what);
            QCOMPARE(stored("Option4"), QStringLiteral("True"));
        }
    }

    void everyOptionClickWritesBothKeysOfItsPair() {
        Window w(ini);
        Form1& f = *w.form;
        QTest::mouseClick(f.Option1, Qt::LeftButton);
        QCOMPARE(stored("Option1"), QStringLiteral("True"));
        QCOMPARE(stored("Option2"), QStringLiteral("False"));
        QCOMPARE(f.searchOptions().caseMode, CaseMode::MatchCase);
        QCOMPARE(stored("Option3"), QStringLiteral("<missing>"));
        QTest::mouseClick(f.Option2, Qt::LeftButton);
        QCOMPARE(stored("Option1"), QStringLiteral("False"));
        QCOMPARE(stored("Option2"), QStringLiteral("True"));

        QTest::mouseClick(f.Option4, Qt::LeftButton);
        QCOMPARE(stored("Option3"), QStringLiteral("False"));
        QCOMPARE(stored("Option4"), QStringLiteral("True"));
        QCOMPARE(f.searchOptions().mode, SearchMode::Multiple);
        QTest::mouseClick(f.Option3, Qt::LeftButton);
        QCOMPARE(stored("Option3"), QStringLiteral("True"));
        QCOMPARE(stored("Option4"), QStringLiteral("False"));

        QTest::mouseClick(f.Check1, Qt::LeftButton);
        QCOMPARE(stored("Check1"), QStringLiteral("1"));
        QVERIFY(f.searchOptions().promptForPassword);
        QTest::mouseClick(f.Check1, Qt::LeftButton);
        QCOMPARE(stored("Check1"), QStringLiteral("0"));
        QVERIFY(w.boxes.shown.empty());
    }

    void addingFindSetsStoresThemAndAReloadGivesThemBack() {
        {
            Window w(ini);
            Form1& f = *w.form;
            // Cancelled with an empty list: nothing is written.
            w.boxes.answerInput(QString());
            QTest::mouseClick(f.PushButton12, Qt::LeftButton);
            QCOMPARE(w.boxes.shown.size(), size_t(1));
            const auto& box = w.boxes.shown[0];
            QCOMPARE(box.kind, ScriptedMessageBoxes::Kind::Input);
            QCOMPARE(box.text, QStringLiteral("Enter set:"));
            QCOMPARE(box.title, applicationTitle());
            QCOMPARE(box.defaultText, QStringLiteral("search for this"));
            QCOMPARE(stored("FindSets"), QStringLiteral("<missing>"));

            w.boxes.answerInput(QStringLiteral("A::B"));
            QTest::mouseClick(f.PushButton12, Qt::LeftButton);
            QCOMPARE(w.findSets(), QStringList{"A::B"});
            QCOMPARE(stored("FindSets"), QStringLiteral("%::A%3A%3AB"));
            w.boxes.answerInput(QStringLiteral("   "));
            QTest::mouseClick(f.PushButton12, Qt::LeftButton);
            w.boxes.answerInput(QStringLiteral("A::B"));
            QTest::mouseClick(f.PushButton12, Qt::LeftButton);
            QCOMPARE(w.findSets(), (QStringList{"A::B", "   ", "A::B"}));
            QCOMPARE(stored("FindSets"), QStringLiteral("%::A%3A%3AB::   ::A%3A%3AB"));
            QCOMPARE(f.Combo1->currentIndex(), -1);  // nothing picked by adding
            QCOMPARE(f.searchOptions().findSets, w.findSets());
            QVERIFY(w.reports().isEmpty());
        }
        Window again(ini);
        // Catches an entry holding "::" split in two by a restart.
        QCOMPARE(again.findSets(), (QStringList{"A::B", "   ", "A::B"}));
        QCOMPARE(again.form->Combo1->currentIndex(), -1);
    }

    void removingAndClearingFindSets() {
        store("FindSets", "::x::y::z");
        Window w(ini);
        Form1& f = *w.form;
        QCOMPARE(w.findSets(), (QStringList{"x", "y", "z"}));

        // Nothing picked: nothing removed, the list is written again.
        store("FindSets", "::stale");
        QTest::mouseClick(f.PushButton14, Qt::LeftButton);
        QCOMPARE(w.findSets(), (QStringList{"x", "y", "z"}));
        QCOMPARE(stored("FindSets"), QStringLiteral("::x::y::z"));

        f.Combo1->setCurrentIndex(1);
        QTest::mouseClick(f.PushButton14, Qt::LeftButton);
        QCOMPARE(w.findSets(), (QStringList{"x", "z"}));
        QCOMPARE(stored("FindSets"), QStringLiteral("::x::z"));
        QCOMPARE(f.Combo1->currentIndex(), -1);

        // "Clr" answered No changes nothing; Yes empties the list and the key.
        w.boxes.answerQuestion(false);
        QTest::mouseClick(f.PushButton15, Qt::LeftButton);
        QCOMPARE(w.findSets(), (QStringList{"x", "z"}));
        QCOMPARE(w.boxes.shown.back().kind, ScriptedMessageBoxes::Kind::Question);
        QCOMPARE(w.boxes.shown.back().text,
                 QStringLiteral("Are you sure you want to clear this list??"));
        QCOMPARE(w.boxes.shown.back().title, applicationTitle());
        QCOMPARE(stored("FindSets"), QStringLiteral("::x::z"));
        w.boxes.answerQuestion(true);
        QTest::mouseClick(f.PushButton15, Qt::LeftButton);
        QCOMPARE(f.Combo1->count(), 0);
        QCOMPARE(stored("FindSets"), QString());
        QCOMPARE(w.boxes.shown.size(), size_t(2));

        // Removing the only entry leaves the key empty and the list empty after a restart.
        w.boxes.answerInput(QStringLiteral("only"));
        QTest::mouseClick(f.PushButton12, Qt::LeftButton);
        f.Combo1->setCurrentIndex(0);
        QTest::mouseClick(f.PushButton14, Qt::LeftButton);
        QCOMPARE(stored("FindSets"), QString());
        Window again(ini);
        QCOMPARE(again.form->Combo1->count(), 0);
    }

    void loadingListFilesReportsAMissingOneAndLoadsTheOthers() {
        writeFile("a.txt", "salad\r\n  soup  \r\n   \r\n");
        writeFile("b.txt", "bread\nsalad\n");
        writeFile("c.txt", " \n\t\n");  // no phrase: said, where it once loaded nothing unsaid
        Window w(ini);
        Form1& f = *w.form;
        w.boxes.answerInput(QStringLiteral("first"));
        QTest::mouseClick(f.PushButton12, Qt::LeftButton);

        int pointerAtMessage = -1;
        w.boxes.onShow = [&](const ScriptedMessageBoxes::Shown&) {
            pointerAtMessage = f.mousePointer();
        };
        w.dialogs.openAnswers.push_back(
            {path("a.txt"), path("missing.txt"), path("c.txt"), path("b.txt")});
        QTest::mouseClick(f.PushButton16, Qt::LeftButton);

        QCOMPARE(w.dialogs.requests.size(), size_t(1));
        QCOMPARE(w.dialogs.requests[0].kind, QStringLiteral("open"));
        QCOMPARE(w.dialogs.requests[0].title,
                 QStringLiteral("Load List(s) - Hold Ctrl to select multiple list files"));
        QCOMPARE(w.dialogs.requests[0].filter, QStringLiteral("Text Files (*.txt);;All Files (*)"));
        QCOMPARE(w.boxes.messageTexts(),
                 (QStringList{"File not found", noPhraseInListText(path("c.txt"))}));
        QCOMPARE(w.boxes.shown.back().title, applicationTitle());
        QCOMPARE(pointerAtMessage, int(MousePointer::Busy));
        QCOMPARE(f.mousePointer(), int(MousePointer::Default));
        QCOMPARE(w.findSets(), (QStringList{"first", "salad", "  soup  ", "bread", "salad"}));
        QCOMPARE(stored("FindSets"), QStringLiteral("::first::salad::  soup  ::bread::salad"));
        QCOMPARE(f.Combo1->currentIndex(), -1);

        // Cancelled: nothing changes.
        w.dialogs.openAnswers.push_back({});
        store("FindSets", "::untouched");
        QTest::mouseClick(f.PushButton16, Qt::LeftButton);
        QCOMPARE(w.findSets().size(), 5);
        QCOMPARE(stored("FindSets"), QStringLiteral("::untouched"));
    }

    void loadingKeepsTheBusyPointerOfAnotherOperation() {
        writeFile("a.txt", "one\n");
        Window w(ini);
        w.form->setMousePointer(MousePointer::Busy);
        w.dialogs.openAnswers.push_back({path("a.txt")});
        w.form->PushButton16_Click();
        QCOMPARE(w.findSets(), QStringList{"one"});
        QCOMPARE(w.form->mousePointer(), int(MousePointer::Busy));
    }

    void aSelectionOverThirtyThousandCharactersIsReportedAndNothingLoads() {
        writeFile("a.txt", "salad\n");
        Window w(ini);
        // The dialog's text: the folder, then each name, joined by NULs. Names of 200
        // characters fill it; the last name brings it to 30,001 characters.
        QStringList chosen{path("a.txt")};
        qsizetype length = tmp->path().size() + 1 + 5;
        int n = 0;
        while (30000 - length > 2 * 201) {
            chosen << path(QString::number(++n).rightJustified(196, u'n') + ".txt");
            length += 201;
        }
        const qsizetype last = 30000 - length - 1;  // makes exactly 30,000
        chosen << path(QString(last - 4 + 1, u'z') + ".txt");
        w.dialogs.openAnswers.push_back(chosen);
        QTest::mouseClick(w.form->PushButton16, Qt::LeftButton);
        const QStringList reports = w.reports();
        QCOMPARE(reports.size(), 1);
        QVERIFY2(reports[0].contains(QStringLiteral("selection is too large")),
                 qPrintable(reports[0]));
        QVERIFY(reports[0].contains(at("PushButton16_Click", 100)));
        QCOMPARE(w.boxes.shown.size(), size_t(1));  // no "File not found" either
        QCOMPARE(w.findSets(), QStringList());
        QCOMPARE(stored("FindSets"), QStringLiteral("<missing>"));
        QCOMPARE(w.form->mousePointer(), int(MousePointer::Default));

        // One character less fits: the files are loaded (the missing ones reported).
        chosen.last() = path(QString(last - 4, u'z') + ".txt");
        w.dialogs.openAnswers.push_back(chosen);
        w.boxes.shown.clear();
        QTest::mouseClick(w.form->PushButton16, Qt::LeftButton);
        QVERIFY(w.reports().isEmpty());
        QCOMPARE(w.boxes.messageTexts().size(), chosen.size() - 1);
        QCOMPARE(w.findSets(), QStringList{"salad"});
    }

    void restoreLetsTheStoredModeWinOverTheStoredPhrase() {
        store("Text1", "salad");
        store("Option3", "False");
        store("Option4", "True");
        store("Option1", "TRUE");
        store("Option2", "0");
        store("Check1", "1");
        Window w(ini);
        Form1& f = *w.form;
        QCOMPARE(f.Text1->text(), QStringLiteral("salad"));
        QVERIFY(f.Option4->isChecked());
        QVERIFY(!f.Option3->isChecked());
        QVERIFY(f.Option1->isChecked());
        QVERIFY(!f.Option2->isChecked());
        QVERIFY(f.Check1->isChecked());
        QVERIFY(w.boxes.shown.empty());
        // The restore's own changes wrote their keys back.
        QCOMPARE(stored("Text1"), QStringLiteral("salad"));
        QCOMPARE(stored("Option3"), QStringLiteral("False"));
        QCOMPARE(stored("Option4"), QStringLiteral("True"));
        QCOMPARE(stored("Option1"), QStringLiteral("True"));
        QCOMPARE(stored("Option2"), QStringLiteral("False"));
    }

    void restoreKeepsEachPairWithExactlyOneSelection_data() {
        QTest::addColumn<QString>("o1");
        QTest::addColumn<QString>("o2");
        QTest::addColumn<QString>("o3");
        QTest::addColumn<QString>("o4");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("multiple");
        QTest::newRow("both false") << "False"
                                    << "False"
                                    << "False"
                                    << "False" << false << false;
        QTest::newRow("both true") << "True"
                                   << "True"
                                   << "True"
                                   << "True" << false << true;
        QTest::newRow("first only") << "1"
                                    << "0"
                                    << "-1"
                                    << "0" << true << false;
        QTest::newRow("second only") << "0"
                                     << "1"
                                     << "0"
                                     << "1" << false << true;
    }
    void restoreKeepsEachPairWithExactlyOneSelection() {
        QFETCH(QString, o1);
        QFETCH(QString, o2);
        QFETCH(QString, o3);
        QFETCH(QString, o4);
        QFETCH(bool, matchCase);
        QFETCH(bool, multiple);
        store("Text1", "phrase");
        store("Option1", o1);
        store("Option2", o2);
        store("Option3", o3);
        store("Option4", o4);
        Window w(ini);
        Form1& f = *w.form;
        QCOMPARE(f.Option1->isChecked(), matchCase);
        QCOMPARE(f.Option2->isChecked(), !matchCase);
        QCOMPARE(f.Option4->isChecked(), multiple);
        QCOMPARE(f.Option3->isChecked(), !multiple);
        QVERIFY(w.boxes.shown.empty());
    }

    void aBadStoredValueGivesOneReportAndStartUpGoesOn() {
        store("Option1", "maybe");
        store("FindSets", "::a");
        store("Check1", "1");
        Window w(ini);
        Form1& f = *w.form;
        const QStringList reports = w.reports();
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports[0].startsWith(QStringLiteral("Type mismatch")));
        QVERIFY(reports[0].contains(at("Form_Load", 176)));
        QCOMPARE(w.boxes.shown[0].icon, MessageBoxes::Icon::Warning);
        QVERIFY(!f.Option1->isChecked());
        QVERIFY(f.Option2->isChecked());
        QVERIFY(f.Check1->isChecked());
        QCOMPARE(w.findSets(), QStringList{"a"});
    }

    // A store that cannot be written is reported once, with its path; the
    // phrase still switches the mode.
    void aStoreThatCannotBeWrittenIsReportedOnce() {
        writeFile("blocker", "");
        Window w(path("blocker/Veltrane.ini"));
        Form1& f = *w.form;
        QTest::mouseClick(f.Option4, Qt::LeftButton);
        QCOMPARE(w.reports().size(), 1);
        QVERIFY(w.reports()[0].contains(at("Option4_Click", 100)));
        QVERIFY(w.reports()[0].contains(path("blocker/Veltrane.ini")));
        QVERIFY(f.Option4->isChecked());

        QTest::keyClicks(f.Text1, QStringLiteral("salad"));
        QVERIFY(f.Option3->isChecked());
        w.boxes.answerInput(QStringLiteral("x"));
        QTest::mouseClick(f.PushButton12, Qt::LeftButton);
        QTest::mouseClick(f.Check1, Qt::LeftButton);
        QCOMPARE(w.reports().size(), 1);
        QCOMPARE(w.findSets(), QStringList{"x"});
        QCOMPARE(f.searchOptions().singlePhrase, QStringLiteral("salad"));
    }

    // A line Qt cannot parse in a hand-edited store: typing still stores each
    // keystroke and switches to "Search for this:", without a report.
    void aHandEditedStoreKeepsWorking() {
        writeFile("Veltrane.ini",
                  "[Quillmark]\nOption3=False\nOption4=True\nFindSets=::soup\n# my note\n");
        Window w(ini);
        Form1& f = *w.form;
        QVERIFY(f.Option4->isChecked());
        QCOMPARE(w.findSets(), QStringList{"soup"});
        QTest::keyClicks(f.Text1, QStringLiteral("salad"));
        QVERIFY(w.boxes.shown.empty());
        QVERIFY(f.Option3->isChecked());
        QCOMPARE(f.searchOptions().mode, SearchMode::Single);
        QCOMPARE(stored("Text1"), QStringLiteral("salad"));
        QCOMPARE(stored("Option3"), QStringLiteral("True"));
        QCOMPARE(stored("Option4"), QStringLiteral("False"));
    }

    // A control changed by a procedure reports its failures under that
    // procedure and its step; a change by the user under the handler's name.
    void handlerErrorsAreReportedByTheCallingProcedure() {
        struct FailingStore : SettingsStore {
            QString getSetting(const QString& key, const QString& fallback) const override {
                return key == QStringLiteral("Text1") ? QStringLiteral("soup") : fallback;
            }
            void saveSetting(const QString&, const QString&) override {
                throw Error(QStringLiteral("Disk full"));
            }
        } store;
        QTemporaryDir app;
        QVERIFY(QDir(app.path()).mkpath(QStringLiteral("Samples")));
        ScriptedServices s(&store);
        Form1::Config config;
        config.applicationFolder = app.path();
        Form1 f(s.services, config);
        auto reports = [&] {
            QStringList out;
            for (const auto& b : s.boxes.shown)
                if (b.title == QStringLiteral("Application Error")) out << b.text;
            return out;
        };
        // The restore of "Text1" stores it and the mode: both fail at step 158.
        QCOMPARE(reports().size(), 2);
        for (const QString& r : reports()) {
            QVERIFY2(r.startsWith(QStringLiteral("Disk full") + at("Form_Load", 158)),
                     qPrintable(r));
        }
        QCOMPARE(f.Text1->text(), QStringLiteral("soup"));

        s.boxes.answerQuestion(false);
        f.PushButton10_Click();
        QCOMPARE(reports().size(), 4);
        for (const QString& r : reports().mid(2))
            QVERIFY2(r.contains(at("PushButton10_Click", 102)), qPrintable(r));
        QCOMPARE(f.Text1->text(), QStringLiteral("salad"));

        QTest::mouseClick(f.Option1, Qt::LeftButton);
        QCOMPARE(reports().size(), 5);
        QVERIFY(reports()[4].contains(at("Option1_Click", 100)));
    }

    // Tabbing into the list makes its first entry current, not highlighted:
    // Delete and double-click then remove nothing.
    void removalActsOnTheHighlightedEntryOnly() {
        Window w(ini);
        Form1& f = *w.form;
        f.fileList.add(QStringList{"/p/a.pdf", "/p/b.pdf", "/p/c.pdf"});
        QFocusEvent tabIn(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(f.ListView1, &tabIn);
        QCOMPARE(f.ListView1->currentIndex().row(), 0);
        QCOMPARE(f.fileList.selected(), 0);
        f.ListView1_KeyDown(Qt::Key_Delete);
        f.ListView1_DblClick();
        QCOMPARE(f.fileList.count(), 3);

        f.ListView1->selectionModel()->select(
            f.fileList.index(1), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QCOMPARE(f.fileList.selected(), 2);
        f.ListView1_KeyDown(Qt::Key_Delete);
        QCOMPARE(f.fileList.paths(), (QStringList{"/p/a.pdf", "/p/c.pdf"}));
    }

    void removalAndClearListDoNothingWhileBusy() {
        Window w(ini);
        Form1& f = *w.form;
        f.ListView1_DblClick();  // empty list
        f.ListView1_KeyDown(Qt::Key_Delete);
        QCOMPARE(f.fileList.count(), 0);

        f.fileList.add(QStringList{"/p/a.pdf", "/p/b.pdf", "/p/c.pdf", "/p/d.pdf"});
        f.ListView1_DblClick();  // nothing selected
        QCOMPARE(f.fileList.count(), 4);

        f.ListView1->setCurrentIndex(f.fileList.index(1));
        QCOMPARE(f.fileList.selected(), 2);
        f.setMousePointer(MousePointer::Busy);
        f.ListView1_DblClick();
        f.ListView1_KeyDown(Qt::Key_Delete);
        f.PushButton9_Click();
        QCOMPARE(f.fileList.count(), 4);

        f.setMousePointer(MousePointer::Default);
        f.ListView1_DblClick();
        QCOMPARE(f.fileList.paths(), (QStringList{"/p/a.pdf", "/p/c.pdf", "/p/d.pdf"}));
        f.ListView1->setCurrentIndex(f.fileList.index(2));
        f.ListView1_KeyDown(Qt::Key_Period);  // not the Delete key
        QCOMPARE(f.fileList.count(), 3);
        QTest::keyClick(f.ListView1, Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(f.fileList.paths(), (QStringList{"/p/a.pdf", "/p/c.pdf"}));

        QTest::mouseClick(f.PushButton9, Qt::LeftButton);
        QCOMPARE(f.fileList.count(), 0);
        QVERIFY(w.boxes.shown.empty());
    }

    void hoverRulesAndTheBusyExceptionOverTheSearchButton() {
        Window w(ini);
        Form1& f = *w.form;
        QCOMPARE(f.mousePointer(), 0);
        // A real mouse move over a button goes through the window's event filter.
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), f.PushButton3->mapToGlobal(QPoint(5, 5)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(f.PushButton3, &move);
        QCOMPARE(f.mousePointer(), int(MousePointer::Hover));
        QCOMPARE(f.cursor().shape(), Qt::PointingHandCursor);
        QMouseEvent moveList(QEvent::MouseMove, QPointF(5, 5),
                             f.ListView2->viewport()->mapToGlobal(QPoint(5, 5)), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(f.ListView2->viewport(), &moveList);
        QCOMPARE(f.mousePointer(), int(MousePointer::Default));

        for (QWidget* background :
             {static_cast<QWidget*>(&f), static_cast<QWidget*>(f.Frame1),
              static_cast<QWidget*>(f.Frame2), static_cast<QWidget*>(f.Frame3),
              static_cast<QWidget*>(f.ListView1)}) {
            f.mouseMoveOver(f.PushButton16);
            QCOMPARE(f.mousePointer(), int(MousePointer::Hover));
            f.mouseMoveOver(background);
            QCOMPARE(f.mousePointer(), int(MousePointer::Default));
        }
        // Options, the check box, the phrase and the list keep the pointer.
        f.mouseMoveOver(f.PushButton1);
        for (QWidget* none : {static_cast<QWidget*>(f.Option1), static_cast<QWidget*>(f.Check1),
                              static_cast<QWidget*>(f.Text1), static_cast<QWidget*>(f.Combo1)}) {
            f.mouseMoveOver(none);
            QCOMPARE(f.mousePointer(), int(MousePointer::Hover));
        }

        // Busy: buttons keep the hourglass, except the search button.
        f.setMousePointer(MousePointer::Busy);
        f.mouseMoveOver(f.PushButton11);
        QCOMPARE(f.mousePointer(), int(MousePointer::Busy));
        f.mouseMoveOver(f.Frame2);
        f.mouseMoveOver(f.ListView1);
        QCOMPARE(f.mousePointer(), int(MousePointer::Busy));
        f.mouseMoveOver(f.PushButton7);
        QCOMPARE(f.mousePointer(), int(MousePointer::Hover));
        // ... after which the pointer is no longer busy, so a frame shows the arrow.
        f.mouseMoveOver(f.Frame1);
        QCOMPARE(f.mousePointer(), int(MousePointer::Default));
        QCOMPARE(f.cursor().shape(), Qt::ArrowCursor);
    }

    void hoverCursorComesFromTheCursorFileBesideTheProgram() {
        // A 32x32 cursor file with its hot spot at (6, 2): an icon file whose type
        // field says "cursor" and whose entry holds the hot spot.
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(path("icon.ico"), "ico"));
        QFile ico(path("icon.ico"));
        QVERIFY(ico.open(QIODevice::ReadOnly));
        QByteArray bytes = ico.readAll();
        bytes[2] = 2;
        bytes[10] = 6;
        bytes[11] = 0;
        bytes[12] = 2;
        bytes[13] = 0;
        writeFile("HAND-M.CUR", bytes);

        Window w(ini, tmp->path());
        QCOMPARE(w.form->hoverCursor().shape(), Qt::BitmapCursor);
        QCOMPARE(w.form->hoverCursor().hotSpot(), QPoint(6, 2));
        w.form->mouseMoveOver(w.form->PushButton5);
        QCOMPARE(w.form->cursor().shape(), Qt::BitmapCursor);

        // A file that is no picture leaves the pointing hand.
        writeFile("HAND-M.CUR", "not a cursor");
        Window broken(ini, tmp->path());
        QCOMPARE(broken.form->hoverCursor().shape(), Qt::PointingHandCursor);
    }

    void helpShowsOneMessageAndChangesNothing() {
        Window w(ini);
        Form1& f = *w.form;
        f.fileList.add(QStringLiteral("/p/a.pdf"));
        QTest::mouseClick(f.PushButton5, Qt::LeftButton);
        QCOMPARE(w.boxes.shown.size(), size_t(1));
        const auto& box = w.boxes.shown[0];
        QCOMPARE(box.kind, ScriptedMessageBoxes::Kind::Message);
        QCOMPARE(box.text,
                 QStringLiteral("Make sure the PDF file is not password protected before using."));
        QCOMPARE(box.title, applicationTitle());
        QCOMPARE(box.icon, MessageBoxes::Icon::None);
        QCOMPARE(f.fileList.count(), 1);
        QCOMPARE(f.mousePointer(), 0);
        QVERIFY(!QFile::exists(ini));
    }
};

QTEST_MAIN(Form1OptionsTest)
#include "test_form1_options.moc"
