// The desktop's default applications: asked of xdg-mime away from the caller's
// thread, the answer handed out once it has come, and asked again for the next use.
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

    void theAnswerComesWithoutTheCallerWaitingAndIsAskedAgain() {
        QtDesktop desktop({QStringLiteral("application/pdf")});
        // The first look-up waits for the release: no answer yet, and the call
        // returns at once (a caller that waited would give the look-up up and
        // take its answer from a second run).
        QCOMPARE(desktop.defaultApplication(QStringLiteral("application/pdf")), QString());
        test::writeBytes(release_, "");
        QTRY_COMPARE(desktop.defaultApplication(QStringLiteral("application/pdf")),
                     QStringLiteral("viewer-1.desktop"));
        // Every use asks again, so a default changed meanwhile is seen.
        QTRY_COMPARE(desktop.defaultApplication(QStringLiteral("application/pdf")),
                     QStringLiteral("viewer-2.desktop"));
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
