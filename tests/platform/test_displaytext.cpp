#include <gtest/gtest.h>

#include "platform/gui/qt_services.h"

namespace qm {
namespace {

TEST(DisplayTextForBox, CarriageReturnsBecomeLineBreaks) {
    EXPECT_EQ(displayTextForBox(QStringLiteral("one\r\ntwo\rthree\nfour")),
              QStringLiteral("one\ntwo\nthree\nfour"));
    // Two CRs in a row are two breaks, and CR CR LF is one break plus one.
    EXPECT_EQ(displayTextForBox(QStringLiteral("a\r\rb\r\r\nc")), QStringLiteral("a\n\nb\n\nc"));
    // The text passed in is not changed.
    const QString original = QStringLiteral("x\r\ny");
    displayTextForBox(original);
    EXPECT_EQ(original, QStringLiteral("x\r\ny"));
    EXPECT_EQ(displayTextForBox(QString()), QString());
}

}  // namespace
}  // namespace qm
