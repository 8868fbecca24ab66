// Search options and find sets, the file-list commands, hover and "Help".
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>

#include "app/errorreport.h"
#include "app/form1.h"
#include "app/form1_searchcontrols.h"
#include "platform/settings.h"
#include "terms/findsets.h"
#include "words/words.h"

namespace qm {

namespace {

const QString kForm = QStringLiteral("Form1");

QString trueFalse(bool on) {
    return on ? QStringLiteral("True") : QStringLiteral("False");
}

// Handlers without a report of their own: a failure (a settings write, say)
// goes to the procedure that changed the control (its location, its current
// step); after a change by the user it is reported under the handler's own
// name, so that no error escapes into the event loop.
template <class F>
void guarded(Form1& form, const char* procedure, F&& body) {
    if (Procedure* caller = form.callingProcedure) {
        caller->step(caller->currentStep(), std::forward<F>(body));
        return;
    }
    Procedure p(*form.services().boxes, kForm, QString::fromLatin1(procedure));
    p.step(100, std::forward<F>(body));
}

void storeCaseOptions(Form1& f) {
    f.services().settings->saveSetting(QStringLiteral("Option1"),
                                       trueFalse(f.Option1->isChecked()));
    f.services().settings->saveSetting(QStringLiteral("Option2"),
                                       trueFalse(f.Option2->isChecked()));
}

void storeSearchMode(Form1& f) {
    f.services().settings->saveSetting(QStringLiteral("Option3"),
                                       trueFalse(f.Option3->isChecked()));
    f.services().settings->saveSetting(QStringLiteral("Option4"),
                                       trueFalse(f.Option4->isChecked()));
}

// Selects a mode button; its click handling stores the pair. When it was selected
// already no click arrives, so the pair is stored here.
void selectMode(Form1& f, QRadioButton* button) {
    if (button->isChecked())
        storeSearchMode(f);
    else
        button->setChecked(true);
}

QStringList findSets(const Form1& f) {
    QStringList out;
    out.reserve(f.Combo1->count());
    for (int i = 0; i < f.Combo1->count(); ++i) out << f.Combo1->itemText(i);
    return out;
}

void storeFindSets(Form1& f) {
    f.services().settings->saveSetting(QStringLiteral("FindSets"), joinFindSets(findSets(f)));
}

// Appends entries at the end. A pick-only list keeps "nothing picked" when
// entries arrive (a combo box would otherwise pick its first entry).
void appendFindSets(Form1& f, const QStringList& entries) {
    if (entries.isEmpty()) return;
    if (f.Combo1->count() + entries.size() > kMaxFindSets) throw Error(findSetsFullMessage());
    const int picked = f.Combo1->currentIndex();
    f.Combo1->addItems(entries);
    f.Combo1->setCurrentIndex(picked);
}

// Removal of the selected file-list entry (double-click and Delete alike).
void removeSelectedFile(Form1& f) {
    if (f.isBusy()) return;
    if (f.fileList.count() == 0) return;
    const int selected = f.fileList.selected();
    if (selected == 0) return;
    f.fileList.remove(selected);
}

}  // namespace

// --- the restore's view of the controls ---

void Form1SearchControls::setPhrase(const QString& text) {
    form_.setSinglePhrase(text);
}

void Form1SearchControls::appendFindSets(const QStringList& entries) {
    qm::appendFindSets(form_, entries);
}

void Form1SearchControls::setOption(int number, bool selected) {
    QRadioButton* const buttons[] = {form_.Option1, form_.Option2, form_.Option3, form_.Option4};
    if (number < 1 || number > 4)
        throw Error(QStringLiteral("Invalid option number ") + QString::number(number) + u'.');
    // The selected button of an exclusive pair cannot be cleared on its own (that
    // would leave the pair without a selection); clearing it keeps the pair as it
    // is, and selecting a button clears its partner.
    buttons[number - 1]->setChecked(selected);
}

void Form1SearchControls::setPasswordPrompt(bool ticked) {
    form_.Check1->setChecked(ticked);
}

// --- "Help" ---

void Form1::PushButton5_Click() {
    Procedure p(*services_.boxes, kForm, QStringLiteral("PushButton5_Click"));
    p.step(100, [&] {
        services_.boxes->message(
            QStringLiteral("Make sure the PDF file is not password protected before using."),
            applicationTitle(), MessageBoxes::Icon::None);
    });
}

// --- the file list ---

void Form1::PushButton9_Click() {
    Procedure p(*services_.boxes, kForm, QStringLiteral("PushButton9_Click"));
    p.step(100, [&] {
        if (isBusy()) return;
        fileList.clear();
        // Nothing listed is left to check.
        stopCheck();
    });
}

void Form1::ListView1_DblClick() {
    guarded(*this, "ListView1_DblClick", [&] { removeSelectedFile(*this); });
}

void Form1::ListView1_KeyDown(int keyCode) {
    if (keyCode != Qt::Key_Delete) return;
    guarded(*this, "ListView1_KeyDown", [&] { removeSelectedFile(*this); });
}

// --- find sets ---

void Form1::PushButton12_Click() {
    Procedure p(*services_.boxes, kForm, QStringLiteral("PushButton12_Click"));
    QString answer;
    p.step(100, [&] {
        answer = services_.boxes->input(QStringLiteral("Enter set:"), applicationTitle(),
                                        QStringLiteral("search for this"));
    });
    p.step(102, [&] {
        // Only the empty text (also what Cancel gives) adds nothing; blanks are an answer.
        if (!answer.isEmpty()) appendFindSets(*this, QStringList{answer});
    });
    p.step(104, [&] {
        if (Combo1->count() > 0) storeFindSets(*this);
    });
}

void Form1::PushButton14_Click() {
    Procedure p(*services_.boxes, kForm, QStringLiteral("PushButton14_Click"));
    p.step(100, [&] {
        const int picked = Combo1->currentIndex();
        if (picked != -1) {
            Combo1->removeItem(picked);
            Combo1->setCurrentIndex(-1);
        }
    });
    p.step(102, [&] { storeFindSets(*this); });
}

void Form1::PushButton15_Click() {
    Procedure p(*services_.boxes, kForm, QStringLiteral("PushButton15_Click"));
    bool yes = false;
    p.step(100, [&] {
        yes = services_.boxes->question(
            QStringLiteral("Are you sure you want to clear this list??"), applicationTitle());
    });
    if (!yes) return;
    p.step(102, [&] { Combo1->clear(); });
    p.step(104, [&] { services_.settings->saveSetting(QStringLiteral("FindSets"), QString()); });
}

void Form1::PushButton16_Click() {
    Procedure p(*services_.boxes, kForm, QStringLiteral("PushButton16_Click"));
    QStringList chosen;
    p.step(100, [&] {
        const QStringList answer = services_.dialogs->openFiles(
            QStringLiteral("Load List(s) - Hold Ctrl to select multiple list files"),
            QStringLiteral("Text Files (*.txt);;All Files (*)"));
        // The dialog hands back its selection in a buffer of 30000 characters; a
        // larger selection fails as a whole and nothing is loaded.
        if (dialogSelectionLength(answer) > kDialogBufferLength)
            throw Error(QStringLiteral("The selection is too large: the names of the chosen "
                                       "files take more than ") +
                        QString::number(kDialogBufferLength) +
                        QStringLiteral(" characters. Choose fewer files at a time."));
        chosen = answer;
    });
    if (chosen.isEmpty()) return;

    QStringList paths;
    p.step(102, [&] { paths = pathsToLoad(chosen); });
    // A load started while another operation holds the busy pointer leaves it
    // busy at its end, so that operation keeps its protection of the file list.
    const int pointerBefore = mousePointer();
    p.step(104, [&] { setMousePointer(MousePointer::Busy); });
    for (const QString& path : paths) {
        p.step(106, [&] {
            QStringList list = findSets(*this);
            const qsizetype before = list.size();
            try {
                if (!loadPhraseList(list, path))
                    services_.boxes->message(QStringLiteral("File not found"), applicationTitle());
                else if (list.size() == before)
                    services_.boxes->message(noPhraseInListText(path), applicationTitle());
            } catch (...) {
                // Keep what was read before the failure, then report it.
                appendFindSets(*this, list.mid(before));
                throw;
            }
            appendFindSets(*this, list.mid(before));
        });
    }
    p.step(108, [&] {
        if (Combo1->count() > 0) storeFindSets(*this);
    });
    p.step(110, [&] {
        setMousePointer(pointerBefore == MousePointer::Busy ? MousePointer::Busy
                                                            : MousePointer::Default);
    });
}

// --- phrase, mode, case and password options ---

void Form1::setSinglePhrase(const QString& text) {
    if (Text1->text() == text)
        Text1_Change();  // setting the same text is still a change of the phrase
    else
        Text1->setText(text);
}

void Form1::Text1_Change() {
    // The mode switches also when the phrase cannot be stored.
    guarded(*this, "Text1_Change",
            [&] { services_.settings->saveSetting(QStringLiteral("Text1"), Text1->text()); });
    guarded(*this, "Text1_Change", [&] { selectMode(*this, Option3); });
}

void Form1::Combo1_GotFocus() {
    guarded(*this, "Combo1_GotFocus", [&] { selectMode(*this, Option4); });
}

void Form1::Option1_Click() {
    guarded(*this, "Option1_Click", [&] { storeCaseOptions(*this); });
}

void Form1::Option2_Click() {
    guarded(*this, "Option2_Click", [&] { storeCaseOptions(*this); });
}

void Form1::Option3_Click() {
    guarded(*this, "Option3_Click", [&] { storeSearchMode(*this); });
}

void Form1::Option4_Click() {
    guarded(*this, "Option4_Click", [&] { storeSearchMode(*this); });
}

void Form1::Check1_Click() {
    guarded(*this, "Check1_Click", [&] {
        services_.settings->saveSetting(QStringLiteral("Check1"), Check1->isChecked()
                                                                      ? QStringLiteral("1")
                                                                      : QStringLiteral("0"));
    });
}

void Form1::Check2_Click() {
    guarded(*this, "Check2_Click", [&] {
        services_.settings->saveSetting(QStringLiteral("Loose"), trueFalse(Check2->isChecked()));
    });
}

void Form1::Check5_Click() {
    guarded(*this, "Check5_Click", [&] {
        services_.settings->saveSetting(QStringLiteral("WholeWords"),
                                        trueFalse(Check5->isChecked()));
    });
}

void Form1::Check6_Click() {
    guarded(*this, "Check6_Click", [&] {
        services_.settings->saveSetting(QStringLiteral("IgnoreAccents"),
                                        trueFalse(Check6->isChecked()));
    });
}

void Form1::Check7_Click() {
    guarded(*this, "Check7_Click", [&] {
        services_.settings->saveSetting(QStringLiteral("Regex"), trueFalse(Check7->isChecked()));
    });
}

void Form1::Check3_Click() {
    guarded(*this, "Check3_Click", [&] {
        services_.settings->saveSetting(QStringLiteral("OCR"), trueFalse(Check3->isChecked()));
    });
}

void Form1::Check4_Click() {
    guarded(*this, "Check4_Click", [&] {
        services_.settings->saveSetting(QStringLiteral("AllText"), trueFalse(Check4->isChecked()));
    });
}

// --- hover ---

void Form1::mouseMoveOver(QWidget* control) {
    if (!control) return;
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        // Over "Start Searching"/"Stop Searching" the hand shows even while busy.
        if (button == PushButton7 || !isBusy()) setMousePointer(MousePointer::Hover);
        return;
    }
    if (control == this || control == Frame1 || control == Frame2 || control == Frame3 ||
        control == ListView1 || control == ListView2) {
        if (!isBusy()) setMousePointer(MousePointer::Default);
    }
}

}  // namespace qm
