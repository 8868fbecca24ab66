// The desktop's default applications: whether there is one is asked of
// xdg-mime ahead; which viewer opens a file is asked when it opens.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/gui/qt_services.h"
#include "support/pdfmaker.h"

namespace qm {

class DesktopTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString release_;

  private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        release_ = dir_.filePath(QStringLiteral("release"));
        // A stand-in xdg-mime: numbers its runs, waits until the test releases
        // it, then names "viewer-<run>.desktop"; it knows nothing for "none/*".
        test::writeScript(dir_.path(), QStringLiteral("xdg-mime"),
                          QStringLiteral("count=\"%1/count\"\n"
                                         "n=$(( $(cat \"$count\" 2>/dev/null || echo 0) + 1 ))\n"
                                         "echo $n > \"$count\"\n"
                                         "case \"$3\" in none/*) exit 0;; esac\n"
                                         "while [ ! -e \"%2\" ]; do sleep 0.02; done\n"
                                         "echo \"viewer-$n.desktop\"\n")
                              .arg(dir_.path(), release_));
        qputenv("PATH", dir_.path().toLocal8Bit() + ':' + qgetenv("PATH"));
    }

    // The viewer is the default at the moment of opening: each use asks again
    // and takes that answer. Catches an answer looked up ahead being used
    // after the user changed the default.
    void theDefaultIsAskedAtEachUse() {
        test::writeBytes(release_, "");
        QtDesktop desktop;
        const QString first = desktop.defaultApplication(QStringLiteral("application/pdf"));
        QVERIFY(first.startsWith(QStringLiteral("viewer-")));
        const int n = first.mid(7).section(u'.', 0, 0).toInt();
        QCOMPARE(desktop.defaultApplication(QStringLiteral("application/pdf")),
                 QStringLiteral("viewer-%1.desktop").arg(n + 1));
    }

    void whetherThereIsADefaultWaitsForTheFirstAnswer() {
        test::writeBytes(release_, "");
        QtDesktop desktop;
        QVERIFY(desktop.hasDefaultApplication(QStringLiteral("application/vnd.ms-excel")));
        QVERIFY(!desktop.hasDefaultApplication(QStringLiteral("none/none")));
    }
};

}  // namespace qm

QTEST_MAIN(qm::DesktopTest)
#include "test_desktop.moc"
