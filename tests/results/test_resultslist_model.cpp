#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include "platform/error.h"
#include "results/resultslist.h"
#include "text/display.h"

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
        for (int i = 1; i <= 3; ++i) {
            const int row = list.AddRow(QStringLiteral("/a/f%1.pdf").arg(i));
            QCOMPARE(row, i);
            list.SetCell(row, 2, QStringLiteral("...snippet %1...").arg(i));
        }
        QCOMPARE(list.RowCount(), 3);
        QCOMPARE(list.rowCount(), 0);
        list.publish();
        QCOMPARE(list.rowCount(), 3);
        QCOMPARE(inserted.count(), 1);
        list.publish();  // nothing new: no signal
        QCOMPARE(inserted.count(), 1);

        // A cell set after publishing reaches the view.
        QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
        list.SetCell(2, 2, QStringLiteral("new"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(list.data(list.index(1, 1), Qt::DisplayRole).toString(), QStringLiteral("new"));

        // A clear during a run: the run goes on adding rows afterwards.
        list.Clear();
        QCOMPARE(list.RowCount(), 0);
        QCOMPARE(list.rowCount(), 0);
        QCOMPARE(list.AddRow(QStringLiteral("/b.pdf")), 1);
        list.publish();
        QCOMPARE(list.rowCount(), 1);
        QCOMPARE(list.Cell(1, 1), QStringLiteral("/b.pdf"));
        QCOMPARE(list.Cell(1, 2), QString());  // an unset snippet reads empty
        list.Clear();
        list.Clear();  // clearing an empty list is harmless
    }

    void checkBoxIsTheUsersOnly() {
        ResultsList list;
        QAbstractItemModelTester tester(&list,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        list.AddRow(QStringLiteral("/x.pdf"));
        list.AddRow(QStringLiteral("/y.pdf"));
        list.publish();
        const QModelIndex first = list.index(0, 0);
        QVERIFY(list.flags(first) & Qt::ItemIsUserCheckable);
        QVERIFY(!(list.flags(list.index(0, 1)) & Qt::ItemIsUserCheckable));
        QCOMPARE(list.data(first, Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        QVERIFY(!list.IsChecked(1));

        QVERIFY(list.setData(first, Qt::Checked, Qt::CheckStateRole));
        QVERIFY(list.IsChecked(1));
        QVERIFY(!list.IsChecked(2));
        QCOMPARE(list.data(first, Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QVERIFY(!list.setData(list.index(0, 1), Qt::Checked, Qt::CheckStateRole));
        QVERIFY(!list.setData(first, QStringLiteral("edited"), Qt::EditRole));
        QVERIFY(list.setData(first, Qt::Unchecked, Qt::CheckStateRole));
        QVERIFY(!list.IsChecked(1));

        // Ticks are lost with the rows.
        list.SetChecked(2, true);
        list.Clear();
        list.AddRow(QStringLiteral("/y.pdf"));
        QVERIFY(!list.IsChecked(1));
    }

    void selectedRowIsTheFirstUntilOneIsPicked() {
        ResultsList list;
        QCOMPARE(list.SelectedRow(), 0);
        list.AddRow(QStringLiteral("/1.pdf"));
        list.AddRow(QStringLiteral("/2.pdf"));
        list.AddRow(QStringLiteral("/3.pdf"));
        QCOMPARE(list.SelectedRow(), 1);
        list.SetSelectedRow(3);
        QCOMPARE(list.SelectedRow(), 3);
        list.Clear();
        QCOMPARE(list.SelectedRow(), 0);
        list.AddRow(QStringLiteral("/4.pdf"));
        QCOMPARE(list.SelectedRow(), 1);
    }

    void headersAndBadAddresses() {
        ResultsList list;
        QCOMPARE(list.ColumnCount(), 2);
        QCOMPARE(list.ColumnHeader(1), QStringLiteral("Results (File)"));
        QCOMPARE(list.ColumnHeader(2), QStringLiteral(" Where"));
        QCOMPARE(list.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("Results (File)"));
        QCOMPARE(list.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral(" Where"));
        list.AddRow(QStringLiteral("/1.pdf"));
        QVERIFY_THROWS_EXCEPTION(Error, list.Cell(2, 1));
        QVERIFY_THROWS_EXCEPTION(Error, list.Cell(1, 3));
        QVERIFY_THROWS_EXCEPTION(Error, list.SetCell(0, 2, QString()));
    }

    void controlCharactersShowAsSpaces() {
        QCOMPARE(text::blankControls(QStringLiteral("a\r\nb\fc\td\u0085e\u007Ff")),
                 QStringLiteral("a  b c d e f"));
        QCOMPARE(text::blankControls(QStringLiteral("ä\u00A0€")), QStringLiteral("ä\u00A0€"));

        ResultsList list;
        list.SetCell(list.AddRow(QStringLiteral("/p.pdf")), 2, QStringLiteral("one\r\ntwo..."));
        list.publish();
        QCOMPARE(list.data(list.index(0, 1), Qt::DisplayRole).toString(),
                 QStringLiteral("one  two..."));
        QCOMPARE(list.Cell(1, 2), QStringLiteral("one\r\ntwo..."));  // kept raw for the exports
    }
};

}  // namespace qm

QTEST_GUILESS_MAIN(qm::ResultsListModelTest)
#include "test_resultslist_model.moc"
