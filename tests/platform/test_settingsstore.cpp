#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "platform/settings.h"
#include "text/error.h"

namespace qm {
namespace {

TEST(SettingsStore, WritesReachTheFileAtOnceUnderTheQuillmarkGroup) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("Veltrane.ini");
    IniSettingsStore store(ini);
    EXPECT_EQ(store.getSetting("Text1", "fallback"), QStringLiteral("fallback"));
    EXPECT_FALSE(QFile::exists(ini));  // a read never creates anything

    store.saveSetting("Text1", " salad, \"dressing\" ");
    store.saveSetting("FindSets", "::a::b");
    store.saveSetting("Option1", "True");
    QSettings onDisk(ini, QSettings::IniFormat);
    EXPECT_EQ(onDisk.value("Quillmark/Text1").toString(), QStringLiteral(" salad, \"dressing\" "));
    EXPECT_EQ(onDisk.value("Quillmark/FindSets").toString(), QStringLiteral("::a::b"));
    EXPECT_EQ(onDisk.value("Quillmark/Option1").toString(), QStringLiteral("True"));

    IniSettingsStore again(ini);
    EXPECT_EQ(again.getSetting("Text1", ""), QStringLiteral(" salad, \"dressing\" "));
    EXPECT_EQ(again.getSetting("Text1", "x"), again.getSetting("Text1", "y"));
    EXPECT_EQ(again.getSetting("Option2", "1"), QStringLiteral("1"));
}

TEST(SettingsStore, AValueEditedByHandWithACommaReadsAsItsText) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("Veltrane.ini");
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Quillmark]\nText1=salad, soup\n");
    f.close();
    IniSettingsStore store(ini);
    EXPECT_EQ(store.getSetting("Text1", ""), QStringLiteral("salad, soup"));
}

TEST(SettingsStore, AWriteThatCannotReachTheFileIsAnError) {
    QTemporaryDir dir;
    // A plain file where the store's folder would have to be: no user can write there.
    QFile blocker(dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    IniSettingsStore store(dir.filePath("blocker/Veltrane.ini"));
    try {
        store.saveSetting("Text1", "x");
        ADD_FAILURE() << "no error for a store that cannot be written";
    } catch (const Error& e) {
        EXPECT_TRUE(e.description().contains(dir.filePath("blocker/Veltrane.ini")));
    }
    // Reported once a session: every later failed write is silent.
    EXPECT_NO_THROW(store.saveSetting("Text1", "xy"));
    EXPECT_NO_THROW(store.saveSetting("Option3", "True"));
}

// A line Qt cannot parse in a hand-edited file must not turn every later write
// into an error: each write is judged on its own.
TEST(SettingsStore, AHandEditedLineDoesNotFailLaterWrites) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("Veltrane.ini");
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Quillmark]\nOption3=False\nOption4=True\nFindSets=::soup\n# my note\n");
    f.close();
    IniSettingsStore store(ini);
    EXPECT_EQ(store.getSetting("FindSets", ""), QStringLiteral("::soup"));
    for (const char* typed : {"s", "sa", "sal"}) EXPECT_NO_THROW(store.saveSetting("Text1", typed));
    EXPECT_NO_THROW(store.saveSetting("Option3", "True"));
    EXPECT_EQ(store.getSetting("Text1", ""), QStringLiteral("sal"));
    EXPECT_EQ(IniSettingsStore(ini).getSetting("Option3", ""), QStringLiteral("True"));
    EXPECT_EQ(IniSettingsStore(ini).getSetting("FindSets", ""), QStringLiteral("::soup"));
}

TEST(SettingsStore, UserStoreFollowsXdgConfigHome) {
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    IniSettingsStore store;
    EXPECT_TRUE(store.fileName().startsWith(dir.path())) << store.fileName().toStdString();
    EXPECT_TRUE(store.fileName().endsWith("Veltrane.ini")) << store.fileName().toStdString();
    store.saveSetting("Check1", "1");
    EXPECT_EQ(IniSettingsStore().getSetting("Check1", "0"), QStringLiteral("1"));
}

TEST(ApplicationTitle, CutAtTheLastBlankAtLeastOnceUntilFortyCharacters) {
    EXPECT_EQ(applicationTitleFromName("Quillmark"), QStringLiteral("Quillmark"));
    EXPECT_EQ(applicationTitleFromName("Quillmark PDF Search"), QStringLiteral("Quillmark PDF"));
    const QString longName = QStringLiteral("Quillmark searches the text of a whole list of PDF");
    EXPECT_EQ(applicationTitleFromName(longName),
              QStringLiteral("Quillmark searches the text of a whole"));
    EXPECT_EQ(applicationTitleFromName(QString(50, u'q')), QString(40, u'q'));
}

}  // namespace
}  // namespace qm
