// The preview pane: the selected hit's page, its occurrence marked, or the
// line that says why the page cannot be shown.
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "app/previewpane.h"
#include "extraction/extractor.h"
#include "extraction/ocr.h"
#include "results/resultrows.h"
#include "support/inistore.h"
#include "support/pdfmaker.h"
#include "support/window.h"

namespace qm {

class PreviewPaneTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString d() const { return dir_.path(); }

    std::unique_ptr<PreviewPane> pane() {
        auto p = std::make_unique<PreviewPane>([this] {
            return PageSource::Setup{{findPdftoppm(), findExtractor(), findQpdf()},
                                     d() + QStringLiteral("/work")};
        });
        p->resize(400, 300);
        p->show();
        return p;
    }

  private Q_SLOTS:
    // Catches a rank that counts rows of another file, page or phrase, so
    // the pane would mark another occurrence than the row's.
    void rowsRankAmongTheirPagesOccurrences() {
        ResultRows rows;
        for (auto [path, page, phrase] : {std::tuple{"a.pdf", 2, "cat"},
                                          {"b.pdf", 2, "cat"},
                                          {"a.pdf", 3, "cat"},
                                          {"a.pdf", 2, "dog"},
                                          {"a.pdf", 2, "cat"},
                                          {"a.pdf", 2, "cat"}})
            rows.append(QString::fromLatin1(path), {}, page, QString::fromLatin1(phrase));
        QList<int> ranks;
        for (int r = 0; r < rows.count(); ++r) ranks << occurrenceOnPage(rows, r);
        QCOMPARE(ranks, (QList<int>{0, 0, 0, 0, 1, 2}));
    }

    // Catches the pane's state kept under another key or form than the other
    // settings' "True"/"False" (or not restored), and F4 / Shift+F4 not moving
    // the selection from hit to hit across files.
    void stateIsKeptAndKeysMoveFromHitToHit() {
        const QString ini = d() + QStringLiteral("/keys.ini");
        {
            test::TestWindow window(ini);
            Form1& form = *window.form;
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            auto* button = form.findChild<QToolButton*>(QStringLiteral("PreviewButton"));
            auto* pane = form.findChild<PreviewPane*>();
            QVERIFY(button && pane && !pane->isVisible());
            QTest::keyClick(&form, Qt::Key_F3);
            QVERIFY(pane->isVisible() && button->isChecked());
            QCOMPARE(test::storedValue(ini, QStringLiteral("Preview")), QStringLiteral("True"));
            for (const char* path : {"a.pdf", "a.pdf", "b.pdf"})
                form.results.addRow(QString::fromLatin1(path), QStringLiteral("x"), 1,
                                    QStringLiteral("x"));
            form.results.publish();
            QList<int> rows;
            for (auto key : {Qt::Key_F4, Qt::Key_F4, Qt::Key_F4}) {
                QTest::keyClick(&form, key);
                rows << form.ListView2->currentIndex().row();
            }
            QTest::keyClick(&form, Qt::Key_F4, Qt::ShiftModifier);
            rows << form.ListView2->currentIndex().row();
            QCOMPARE(rows, (QList<int>{0, 1, 2, 1}));
        }
        test::TestWindow again(ini);
        again.form->show();
        QTRY_VERIFY(again.form->findChild<PreviewPane*>()->isVisible());
    }

    // Catches a failed render that shows nothing, or leaves the page shown
    // before in place, instead of the pane's line; and a row's occurrence
    // not the one marked strongly.
    void damagedPageSaysWhy() {
        const QString good = d() + QStringLiteral("/good.pdf");
        test::makeTextPdf(good, {QStringLiteral("one"), QStringLiteral("cat and cat and cat")});
        auto p = pane();
        QSignalSpy shown(p.get(), &PreviewPane::hitShown);
        p->showHit({good, 2, QStringLiteral("cat"), 1, CaseMode::IgnoreCase, false});
        QVERIFY(shown.wait(20000));
        QVERIFY(!p->image().isNull());
        QCOMPARE(p->marks().size(), std::size_t(3));
        QCOMPARE(p->markedOccurrence(), 1);
        QVERIFY(p->message().isEmpty());

        QFile f(good);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString damaged = d() + QStringLiteral("/damaged.pdf");
        test::writeBytes(damaged, f.readAll().left(f.size() / 2));
        p->showHit({damaged, 2, QStringLiteral("cat"), 0, CaseMode::IgnoreCase, false});
        QVERIFY(shown.wait(20000));
        QVERIFY(p->image().isNull());
        QVERIFY(p->marks().empty());
        QVERIFY2(p->message().startsWith(QStringLiteral("This page could not be shown: ")),
                 qPrintable(p->message()));
    }
};

}  // namespace qm

QTEST_MAIN(qm::PreviewPaneTest)
#include "test_preview_pane.moc"
