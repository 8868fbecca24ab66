#include <gtest/gtest.h>

#include <QMap>

#include "app/errorreport.h"
#include "app/restoreoptions.h"
#include "support/scripted.h"
#include "terms/storedvalues.h"

namespace qm {
namespace {

TEST(OptionValues, TruthWordsInAnyCaseAndNumbers) {
    const QString k = QStringLiteral("Option1");
    EXPECT_TRUE(parseStoredBoolean(k, "True"));
    EXPECT_TRUE(parseStoredBoolean(k, "TRUE"));
    EXPECT_TRUE(parseStoredBoolean(k, " true "));
    EXPECT_FALSE(parseStoredBoolean(k, "False"));
    EXPECT_FALSE(parseStoredBoolean(k, "fAlSe"));
    EXPECT_FALSE(parseStoredBoolean(k, "0"));
    EXPECT_TRUE(parseStoredBoolean(k, "1"));
    EXPECT_TRUE(parseStoredBoolean(k, "-1"));
    EXPECT_TRUE(parseStoredBoolean(k, "2.5"));
    EXPECT_FALSE(parseStoredBoolean(k, "0.0"));
}

TEST(OptionValues, TextThatIsNoTruthWordOrNumberIsAnErrorNamingTheKey) {
    for (const char* bad : {"", "yes", "Truee", "1x", "nan", "inf"}) {
        try {
            parseStoredBoolean(QStringLiteral("Option3"), QString::fromLatin1(bad));
            ADD_FAILURE() << "accepted " << bad;
        } catch (const Error& e) {
            EXPECT_TRUE(e.description().contains(QStringLiteral("\"Option3\"")));
        }
    }
}

TEST(OptionValues, WholeNumbersRoundHalvesToEven) {
    const QString k = QStringLiteral("Check1");
    EXPECT_EQ(parseStoredWholeNumber(k, "0"), 0);
    EXPECT_EQ(parseStoredWholeNumber(k, " 1 "), 1);
    EXPECT_EQ(parseStoredWholeNumber(k, "0.5"), 0);
    EXPECT_EQ(parseStoredWholeNumber(k, "1.5"), 2);
    EXPECT_EQ(parseStoredWholeNumber(k, "-3"), -3);
    EXPECT_THROW(parseStoredWholeNumber(k, "True"), Error);
    EXPECT_THROW(parseStoredWholeNumber(k, "one"), Error);
    EXPECT_THROW(parseStoredWholeNumber(k, "1e20"), Error);
}

class MapStore : public SettingsStore {
  public:
    QMap<QString, QString> values;
    mutable QStringList reads;
    QString getSetting(const QString& key, const QString& defaultValue) const override {
        reads << key;
        return values.value(key, defaultValue);
    }
    void saveSetting(const QString& key, const QString& value) override { values[key] = value; }
};

// Records every change the restore makes, in order.
class RecordingControls : public SearchControls {
  public:
    QStringList calls;
    void setPhrase(const QString& text) override { calls << "Text1=" + text; }
    void appendFindSets(const QStringList& entries) override {
        calls << "Combo1+" + entries.join('|');
    }
    void setOption(int number, bool selected) override {
        calls << QStringLiteral("Option%1=%2").arg(number).arg(selected ? "True" : "False");
    }
    void setPasswordPrompt(bool ticked) override { calls << (ticked ? "Check1=1" : "Check1=0"); }
};

TEST(RestoreSearchOptions, FirstStartUsesTheDefaultsAndTouchesNoEmptyControl) {
    ScriptedMessageBoxes boxes;
    MapStore store;
    RecordingControls controls;
    Procedure p(boxes, "Form1", "Form_Load");
    restoreSearchOptions(p, store, controls);
    EXPECT_EQ(controls.calls, (QStringList{"Option1=False", "Option2=True", "Option3=True",
                                           "Option4=False", "Check1=0"}));
    store.reads.sort();  // exactly the seven keys, each read once
    EXPECT_EQ(store.reads, (QStringList{"Check1", "FindSets", "Option1", "Option2", "Option3",
                                        "Option4", "Text1"}));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(RestoreSearchOptions, PhraseThenFindSetsThenOptionsInOrderThenCheck) {
    ScriptedMessageBoxes boxes;
    MapStore store;
    store.values = {{"Text1", "salad"},   {"FindSets", "::a::::b::"}, {"Option1", "true"},
                    {"Option2", "False"}, {"Option3", "0"},           {"Option4", "-1"},
                    {"Check1", "1"}};
    RecordingControls controls;
    Procedure p(boxes, "Form1", "Form_Load");
    restoreSearchOptions(p, store, controls);
    EXPECT_EQ(controls.calls,
              (QStringList{"Text1=salad", "Combo1+a|b", "Option1=True", "Option2=False",
                           "Option3=False", "Option4=True", "Check1=1"}));
    EXPECT_TRUE(boxes.shown.empty());
}

// Like the window: a new phrase selects the single phrase and stores that mode,
// and a selected option stores its pair.
class CouplingControls : public RecordingControls {
  public:
    explicit CouplingControls(SettingsStore& s) : store(s) {}
    SettingsStore& store;
    void setPhrase(const QString& text) override {
        RecordingControls::setPhrase(text);
        store.saveSetting("Text1", text);
        store.saveSetting("Option3", "True");
        store.saveSetting("Option4", "False");
    }
    void setOption(int number, bool selected) override {
        RecordingControls::setOption(number, selected);
        if (!selected) return;
        const int first = number <= 2 ? 1 : 3;
        store.saveSetting(QStringLiteral("Option%1").arg(first),
                          number == first ? "True" : "False");
        store.saveSetting(QStringLiteral("Option%1").arg(first + 1),
                          number == first ? "False" : "True");
    }
};

TEST(RestoreSearchOptions, ValuesStoredAtTheStartWinOverWritesOfTheRestoreItself) {
    ScriptedMessageBoxes boxes;
    MapStore store;
    store.values = {{"Text1", "salad"},
                    {"Option1", "True"},
                    {"Option2", "True"},
                    {"Option3", "False"},
                    {"Option4", "True"}};
    CouplingControls controls(store);
    Procedure p(boxes, "Form1", "Form_Load");
    restoreSearchOptions(p, store, controls);
    EXPECT_EQ(controls.calls, (QStringList{"Text1=salad", "Option1=True", "Option2=True",
                                           "Option3=False", "Option4=True", "Check1=0"}));
    EXPECT_EQ(store.values["Option4"], QStringLiteral("True"));
    EXPECT_EQ(store.values["Option2"], QStringLiteral("True"));
    EXPECT_EQ(store.values["Option1"], QStringLiteral("False"));
}

TEST(RestoreSearchOptions, BadValuesAreReportedAtTheirStepsAndTheRestoreGoesOn) {
    ScriptedMessageBoxes boxes;
    MapStore store;
    store.values = {{"Option1", "maybe"}, {"Check1", "2"}, {"Option4", "True"}};
    RecordingControls controls;
    Procedure p(boxes, "Form1", "Form_Load");
    restoreSearchOptions(p, store, controls);
    EXPECT_EQ(controls.calls, (QStringList{"Option2=True", "Option3=True", "Option4=True"}));
    const QStringList texts = boxes.messageTexts();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].contains("\"maybe\"")) << texts[0].toStdString();
    EXPECT_TRUE(texts[0].contains("in Kestrova2021/08/31.Form1.Form_Load at line 176\r\r"));
    EXPECT_TRUE(texts[1].contains("in Kestrova2021/08/31.Form1.Form_Load at line 184\r\r"));
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Application Error"));
}

}  // namespace
}  // namespace qm
