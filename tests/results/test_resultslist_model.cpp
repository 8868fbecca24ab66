#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include "results/exports.h"
#include "results/resultslist.h"
#include "text/display.h"
#include "text/error.h"

namespace qm {

class ResultsListModelTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void staysConsistentWhileAddingPublishingAndClearing() {
        ResultsList list;
        QAbstractItemModelTester tester(&list,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);

        // Rows added by a search show in the view only when published, in one batch.
        for (int i = 1; i <= 3; ++i)
            list.addRow(QStringLiteral("/a/f%1.pdf").arg(i),
                        QStringLiteral("...snippet %1...").arg(i));
        QCOMPARE(list.rowCount(), 0);
        list.publish();
        QCOMPARE(list.rowCount(), 3);
        QCOMPARE(inserted.count(), 1);
        list.publish();  // nothing new: no signal
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(list.row(1).path, QStringLiteral("/a/f2.pdf"));
        QCOMPARE(list.row(1).snippet, QStringLiteral("...snippet 2..."));

        // A clear during a run: the run goes on adding rows afterwards.
        list.addRow(QStringLiteral("/waiting.pdf"), QStringLiteral("s"));
        list.clear();
        QCOMPARE(list.rowCount(), 0);
        list.addRow(QStringLiteral("/b.pdf"), QString());
        list.publish();
        QCOMPARE(list.rowCount(), 1);  // the row waiting before the clear went with it
        QCOMPARE(list.row(0).path, QStringLiteral("/b.pdf"));
        QCOMPARE(list.row(0).snippet, QString());
        list.clear();
        list.clear();  // clearing an empty list is harmless
    }

    // Every reader sees the rows the view shows and nothing else: rows still
    // waiting for `publish` are neither counted, read, picked nor exported.
    // Catches a reader that counts all rows while the view shows fewer (an
    // export or "Open Selected File" acting on rows the user cannot see).
    void waitingRowsAreInvisibleToEveryReader() {
        ResultsList list;
        list.addRow(QStringLiteral("/shown.pdf"), QStringLiteral("one"));
        list.publish();
        list.addRow(QStringLiteral("/waiting.pdf"), QStringLiteral("two"));
        QCOMPARE(list.rowCount(), 1);
        QCOMPARE(list.selectedRow(), 0);
        list.setSelectedRow(1);
        QCOMPARE(list.selectedRow(), 0);  // a waiting row cannot be picked
        QVERIFY_THROWS_EXCEPTION(Error, list.row(1));
        QVERIFY_THROWS_EXCEPTION(Error, list.setChecked(1, true));
        QVERIFY(!list.data(list.index(1, 0), Qt::DisplayRole).isValid());
        QCOMPARE(resultsText(list.rows()),
                 QStringLiteral("Results (File)\t Where\t\r\n/shown.pdf\tone\t\r\n"));
        list.publish();
        QCOMPARE(list.selectedRow(), 1);
        QCOMPARE(resultsText(list.rows()),
                 QStringLiteral("Results (File)\t Where\t\r\n/shown.pdf\tone\t\r\n"
                                "/waiting.pdf\ttwo\t\r\n"));
    }

    void checkBoxIsTheUsersOnly() {
        ResultsList list;
        QAbstractItemModelTester tester(&list,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        list.addRow(QStringLiteral("/x.pdf"), QString());
        list.addRow(QStringLiteral("/y.pdf"), QString());
        list.publish();
        const QModelIndex first = list.index(0, 0);
        QVERIFY(list.flags(first) & Qt::ItemIsUserCheckable);
        QVERIFY(!(list.flags(list.index(0, 1)) & Qt::ItemIsUserCheckable));
        QCOMPARE(list.data(first, Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        QVERIFY(!list.row(0).checked);

        QVERIFY(list.setData(first, Qt::Checked, Qt::CheckStateRole));
        QVERIFY(list.row(0).checked);
        QVERIFY(!list.row(1).checked);
        QCOMPARE(list.data(first, Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QVERIFY(!list.setData(list.index(0, 1), Qt::Checked, Qt::CheckStateRole));
        QVERIFY(!list.setData(first, QStringLiteral("edited"), Qt::EditRole));
        QVERIFY(list.setData(first, Qt::Unchecked, Qt::CheckStateRole));
        QVERIFY(!list.row(0).checked);

        // A tick set by the program reaches the view.
        QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
        list.setChecked(1, true);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed[0][0].value<QModelIndex>(), list.index(1, 0));
        QCOMPARE(list.data(list.index(1, 0), Qt::CheckStateRole).toInt(), int(Qt::Checked));

        // Ticks are lost with the rows.
        list.clear();
        list.addRow(QStringLiteral("/y.pdf"), QString());
        list.publish();
        QVERIFY(!list.row(0).checked);
    }

    void selectedRowIsTheFirstUntilOneIsPicked() {
        ResultsList list;
        QCOMPARE(list.selectedRow(), -1);
        list.addRow(QStringLiteral("/1.pdf"), QString());
        list.addRow(QStringLiteral("/2.pdf"), QString());
        list.addRow(QStringLiteral("/3.pdf"), QString());
        list.publish();
        QCOMPARE(list.selectedRow(), 0);
        list.setSelectedRow(2);
        QCOMPARE(list.selectedRow(), 2);
        list.setSelectedRow(-1);
        QCOMPARE(list.selectedRow(), 0);
        list.setSelectedRow(2);
        list.clear();
        QCOMPARE(list.selectedRow(), -1);
        list.addRow(QStringLiteral("/4.pdf"), QString());
        list.publish();
        QCOMPARE(list.selectedRow(), 0);
    }

    void headersAndBadAddresses() {
        ResultsList list;
        QCOMPARE(list.columnCount(), 2);
        QCOMPARE(ResultsList::columnTitle(0), QStringLiteral("Results (File)"));
        QCOMPARE(ResultsList::columnTitle(1), QStringLiteral(" Where"));
        QVERIFY_THROWS_EXCEPTION(Error, ResultsList::columnTitle(2));
        QCOMPARE(list.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("Results (File)"));
        QCOMPARE(list.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral(" Where"));
        QVERIFY(!list.headerData(2, Qt::Horizontal, Qt::DisplayRole).isValid());
        list.addRow(QStringLiteral("/1.pdf"), QString());
        list.publish();
        QVERIFY_THROWS_EXCEPTION(Error, list.row(1));
        QVERIFY_THROWS_EXCEPTION(Error, list.row(-1));
        QVERIFY_THROWS_EXCEPTION(Error, list.setChecked(-1, true));
    }

    void controlCharactersShowAsSpaces() {
        QCOMPARE(text::blankControls(QStringLiteral("a\r\nb\fc\td\u0085e\u007Ff")),
                 QStringLiteral("a  b c d e f"));
        QCOMPARE(text::blankControls(QStringLiteral("ä\u00A0€")), QStringLiteral("ä\u00A0€"));

        ResultsList list;
        list.addRow(QStringLiteral("/p.pdf"), QStringLiteral("one\r\ntwo..."));
        list.publish();
        QCOMPARE(list.data(list.index(0, 1), Qt::DisplayRole).toString(),
                 QStringLiteral("one  two..."));
        QCOMPARE(list.row(0).snippet, QStringLiteral("one\r\ntwo..."));  // kept raw for the exports
    }

    // Bidirectional controls would show a name reversed ("bidi\u202Eevil.pdf"
    // as "bidifdp.live"): lists and the terminal show them by their numbers.
    void bidirectionalControlsShowVisibly() {
        const struct {
            QString raw;
            bool keepLineFeeds;
            QString shown;
        } cases[] = {
            {QStringLiteral("bidi\u202Eevil.pdf"), false, QStringLiteral("bidi<U+202E>evil.pdf")},
            {QStringLiteral("\u202A\u202B\u202C\u202D"), false,
             QStringLiteral("<U+202A><U+202B><U+202C><U+202D>")},
            {QStringLiteral("\u2066a\u2067b\u2068c\u2069"), false,
             QStringLiteral("<U+2066>a<U+2067>b<U+2068>c<U+2069>")},
            // Neighbours that reorder nothing stay as they are.
            {QStringLiteral("\u2029\u202F\u2065\u206A\u200F"), false,
             QStringLiteral("\u2029\u202F\u2065\u206A\u200F")},
            {QStringLiteral("a\u001B[2K\r\nb\u0007"), false, QStringLiteral("a [2K  b ")},
            {QStringLiteral("a\u001B[2K\r\nb\u0007"), true, QStringLiteral("a [2K \nb ")},
        };
        for (const auto& c : cases) QCOMPARE(text::displayText(c.raw, c.keepLineFeeds), c.shown);

        ResultsList list;
        list.addRow(QStringLiteral("/bidi\u202Eevil.pdf"), QStringLiteral("a\u2067b..."));
        list.publish();
        QCOMPARE(list.data(list.index(0, 0), Qt::DisplayRole).toString(),
                 QStringLiteral("/bidi<U+202E>evil.pdf"));
        QCOMPARE(list.data(list.index(0, 1), Qt::DisplayRole).toString(),
                 QStringLiteral("a<U+2067>b..."));
        QCOMPARE(list.row(0).path, QStringLiteral("/bidi\u202Eevil.pdf"));
    }
};

}  // namespace qm

QTEST_GUILESS_MAIN(qm::ResultsListModelTest)
#include "test_resultslist_model.moc"
