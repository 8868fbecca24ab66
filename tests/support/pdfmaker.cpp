#include "support/pdfmaker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <stdexcept>

namespace qm::test {

void makeTextPdf(const QString& path, const QStringList& pages, const QString& title) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(300);
    writer.setCreator(QStringLiteral("quillmark tests"));
    if (!title.isEmpty()) writer.setTitle(title);
    QPainter painter;
    if (!painter.begin(&writer)) throw std::runtime_error("cannot write PDF " + path.toStdString());
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSize(11);
    painter.setFont(font);
    const int lineHeight = painter.fontMetrics().height();
    for (qsizetype p = 0; p < pages.size(); ++p) {
        if (p > 0) writer.newPage();
        int y = 2 * lineHeight;
        for (const QString& line : pages[p].split(u'\n')) {
            painter.drawText(150, y, line);
            y += lineHeight;
        }
    }
    painter.end();
}

void makeImagePdf(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A6));
    writer.setResolution(72);
    QImage picture(120, 80, QImage::Format_RGB32);
    picture.fill(Qt::white);
    for (int y = 10; y < 70; y += 8)
        for (int x = 10; x < 110; ++x) picture.setPixel(x, y, qRgb(20, 20, 20));
    QPainter painter;
    if (!painter.begin(&writer)) throw std::runtime_error("cannot write PDF " + path.toStdString());
    painter.drawImage(QRect(10, 10, 240, 160), picture);
    painter.end();
}

bool encryptPdf(const QString& source, const QString& destination, const QString& userPassword,
                const QString& ownerPassword) {
    QStringList args{QStringLiteral("--encrypt"), userPassword, ownerPassword,
                     QStringLiteral("256")};
    if (userPassword.isEmpty()) args << QStringLiteral("--extract=n");
    args << QStringLiteral("--") << source << destination;
    QProcess qpdf;
    qpdf.start(QStringLiteral("qpdf"), args);
    if (!qpdf.waitForFinished(60000)) return false;
    return qpdf.exitStatus() == QProcess::NormalExit && qpdf.exitCode() == 0 &&
           QFileInfo::exists(destination);
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

QString writeReadableExtractor(const QString& folder) {
    return writeScript(folder, QStringLiteral("fake-pdftotext"),
                       QStringLiteral("grep -q bad \"$1\" && exit 1\n"
                                      "printf 'plenty of readable text'\n"));
}

QString writeScript(const QString& folder, const QString& name, const QString& body) {
    const QString path = folder + u'/' + name;
    writeBytes(path, (QStringLiteral("#!/bin/sh\n") + body + u'\n').toUtf8());
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                    QFile::ReadGroup | QFile::ExeGroup);
    return path;
}

QByteArray extractWithPdftotext(const QString& pdf) {
    QTemporaryDir dir;
    const QString out = dir.path() + QStringLiteral("/out.txt");
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {pdf, out});
    p.waitForFinished(60000);
    QFile f(out);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace qm::test
