// The message box of the program: a report of many files stays within the
// screen, shows every line in a scrollable text area, and keeps OK reachable.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>

#include "platform/gui/qt_services.h"

namespace qm {

namespace {

// A "Done." message as the search composes it, with `n` unreadable files.
QString doneWithFailures(int n) {
    QString text = QStringLiteral("Done.\r\nThe following files could not be read:");
    for (int i = 1; i <= n; ++i)
        text += QStringLiteral("\r\n/home/user/scans/folder %1/scan-%2.pdf  - text unreadable.")
                    .arg(i % 7)
                    .arg(i);
    return text;
}

}  // namespace

class MessageBoxTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    // 358 files against a screen 400 pixels tall: the box fits, OK lies inside
    // it, and the whole text is in the text area, which scrolls.
    void aLongReportFitsASmallScreen() {
        const QRect small(0, 0, 640, 400);
        const QString text = doneWithFailures(358);
        QVERIFY(isLongMessage(text));
        const auto box = makeMessageBox(text, QStringLiteral("Quillmark"), MessageBoxes::Icon::None,
                                        nullptr, small);
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        QVERIFY(box->frameGeometry().height() <= small.height());
        QVERIFY(box->height() <= small.height() - 40);

        auto* area = box->findChild<QPlainTextEdit*>(QStringLiteral("messageText"));
        QVERIFY(area);
        QCOMPARE(area->toPlainText(), displayTextForBox(text));
        QVERIFY(area->isReadOnly());
        QVERIFY(area->textInteractionFlags() & Qt::TextSelectableByMouse);
        QVERIFY(area->verticalScrollBar()->maximum() > 0);

        auto* buttons = box->findChild<QDialogButtonBox*>();
        QVERIFY(buttons);
        QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
        QVERIFY(ok && ok->isVisible());
        const QRect okInBox(ok->mapTo(box.get(), QPoint(0, 0)), ok->size());
        QVERIFY(box->rect().contains(okInBox));
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(box->result(), int(QDialog::Accepted));
    }

    // A short report stays the plain box with its text as a label; a report
    // just over the limit of lines gets the text area, with the icon kept.
    void shortReportsKeepThePlainBox() {
        const QRect screen(0, 0, 1024, 768);
        const QString shortText = doneWithFailures(3);
        QVERIFY(!isLongMessage(shortText));
        const auto plain = makeMessageBox(shortText, QStringLiteral("Quillmark"),
                                          MessageBoxes::Icon::Warning, nullptr, screen);
        auto* box = qobject_cast<QMessageBox*>(plain.get());
        QVERIFY(box);
        QCOMPARE(box->text(), displayTextForBox(shortText));
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QVERIFY(!plain->findChild<QPlainTextEdit*>());

        // Two lines of heading and 19 files: 21 lines.
        const QString justOver = doneWithFailures(kLongMessageLines - 1);
        QVERIFY(isLongMessage(justOver));
        QVERIFY(!isLongMessage(doneWithFailures(kLongMessageLines - 2)));
        const auto longBox = makeMessageBox(justOver, QStringLiteral("Application Error"),
                                            MessageBoxes::Icon::Warning, nullptr, screen);
        QVERIFY(longBox->findChild<QPlainTextEdit*>(QStringLiteral("messageText")));
        QCOMPARE(longBox->windowTitle(), QStringLiteral("Application Error"));
        bool hasIcon = false;
        for (QLabel* label : longBox->findChildren<QLabel*>())
            hasIcon = hasIcon || !label->pixmap().isNull();
        QVERIFY(hasIcon);
        // With room enough the box shows every line without a scroll bar.
        longBox->show();
        QVERIFY(QTest::qWaitForWindowExposed(longBox.get()));
        QCOMPARE(longBox->findChild<QPlainTextEdit*>()->verticalScrollBar()->maximum(), 0);
    }

    // What `message` shows on this screen is the same bounded box.
    void theShownBoxStaysOnTheScreen() {
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QtMessageBoxes boxes;
        int height = -1;
        bool area = false;
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) return;
            height = modal->frameGeometry().height();
            area = modal->findChild<QPlainTextEdit*>(QStringLiteral("messageText")) != nullptr;
            static_cast<QDialog*>(modal)->accept();
        });
        boxes.message(doneWithFailures(358), QStringLiteral("Quillmark"), MessageBoxes::Icon::None);
        QVERIFY(area);
        QVERIFY(height > 0 && height <= available.height());
    }
};

}  // namespace qm

QTEST_MAIN(qm::MessageBoxTest)
#include "test_messagebox.moc"
