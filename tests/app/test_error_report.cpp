#include <gtest/gtest.h>

#include "app/errorreport.h"
#include "support/scripted.h"

namespace qm {
namespace {

const QString kTail =
    QStringLiteral("\r\rPlease email screenshot of this message to ") + supportEmail();

TEST(ErrorReport, TextAtStep104IsComposedExactly) {
    ScriptedMessageBoxes boxes;
    Procedure p(boxes, QStringLiteral("Form1"), QStringLiteral("Form_Load"));
    p.step(100, [] {});
    p.step(102, [] {});
    p.step(104, [] { throw Error(QStringLiteral("File not found")); });

    ASSERT_EQ(boxes.shown.size(), 1u);
    const auto& box = boxes.shown[0];
    EXPECT_EQ(box.kind, ScriptedMessageBoxes::Kind::Message);
    EXPECT_EQ(box.title, QStringLiteral("Application Error"));
    EXPECT_EQ(box.icon, MessageBoxes::Icon::Warning);
    EXPECT_EQ(box.text, QStringLiteral("File not found\r\nin Kestrova2021/08/31.Form1.Form_Load "
                                       "at line 104") +
                            kTail);
}

TEST(ErrorReport, EveryFailingStepReportsAndTheProcedureFinishes) {
    ScriptedMessageBoxes boxes;
    Procedure p(boxes, QStringLiteral("Form1"), QStringLiteral("PushButton4_Click"));
    std::vector<int> ran;
    p.step(100, [&] { ran.push_back(100); });
    p.step(102, [&] {
        ran.push_back(102);
        throw Error(QStringLiteral("first"));
    });
    p.step(104, [&] {
        ran.push_back(104);
        throw std::runtime_error("second");
    });
    p.step(106, [&] { ran.push_back(106); });

    EXPECT_EQ(ran, (std::vector<int>{100, 102, 104, 106}));
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_TRUE(boxes.shown[0].text.startsWith(QStringLiteral("first\r\n")));
    EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("PushButton4_Click at line 102\r\r")));
    EXPECT_TRUE(boxes.shown[1].text.startsWith(QStringLiteral("second\r\n")));
    EXPECT_TRUE(boxes.shown[1].text.contains(QStringLiteral("at line 104\r\r")));
    EXPECT_EQ(p.reportCount(), 2);
}

// A helper without a report of its own: its error is reported by the caller,
// with the caller's location and the caller's current step.
void helperWithoutReport() {
    throw Error(QStringLiteral("Type mismatch"));
}

TEST(ErrorReport, HelperErrorIsReportedWithCallersLocationAndStep) {
    ScriptedMessageBoxes boxes;
    Procedure p(boxes, QStringLiteral("AddFolder"), QStringLiteral("GetSubDirectories2016"),
                QStringLiteral("OrvenTitle2021/08/31"));
    p.step(110, [] { helperWithoutReport(); });
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              QStringLiteral("Type mismatch\r\nin OrvenTitle2021/08/31.AddFolder."
                             "GetSubDirectories2016 at line 110") +
                  kTail);
}

}  // namespace
}  // namespace qm
