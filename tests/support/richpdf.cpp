#include "support/richpdf.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <stdexcept>

namespace qm::test {

namespace {

QByteArray qpdf(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("qpdf"), args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit ||
        (p.exitCode() != 0 && p.exitCode() != 3))
        throw std::runtime_error("qpdf failed: " + p.readAllStandardError().toStdString());
    return p.readAllStandardOutput();
}

void replaceWith(const QString& pdf, const QString& made) {
    QFile::remove(pdf);
    if (!QFile::rename(made, pdf)) throw std::runtime_error("cannot replace the PDF");
}

}  // namespace

QString PdfEdit::add(const QJsonObject& value) {
    const QString ref = QStringLiteral("%1 0 R").arg(next++);
    added.insert(QStringLiteral("obj:") + ref, QJsonObject{{QStringLiteral("value"), value}});
    return ref;
}

QString PdfEdit::addStream(const QByteArray& data, const QJsonObject& dict) {
    const QString ref = QStringLiteral("%1 0 R").arg(next++);
    const QJsonObject stream{{QStringLiteral("dict"), dict},
                             {QStringLiteral("data"), QString::fromLatin1(data.toBase64())}};
    added.insert(QStringLiteral("obj:") + ref, QJsonObject{{QStringLiteral("stream"), stream}});
    return ref;
}

void editPdf(const QString& pdf, const std::function<void(PdfEdit&)>& edit) {
    const QJsonObject top = QJsonDocument::fromJson(qpdf({QStringLiteral("--json=2"),
                                                          QStringLiteral("--json-key=pages"),
                                                          QStringLiteral("--json-key=qpdf"), pdf}))
                                .object();
    const QJsonArray q = top.value(u"qpdf").toArray();
    const QJsonObject objects = q.at(1).toObject();
    const auto value = [&](const QString& ref) {
        return objects.value(QStringLiteral("obj:") + ref).toObject().value(u"value").toObject();
    };
    PdfEdit e;
    e.next = q.at(0).toObject().value(u"maxobjectid").toInt() + 1;
    for (const QJsonValue& p : top.value(u"pages").toArray()) {
        e.pageRefs << p.toObject().value(u"object").toString();
        e.pages.push_back(value(e.pageRefs.last()));
    }
    const QJsonObject trailer = objects.value(u"trailer").toObject().value(u"value").toObject();
    e.rootRef = trailer.value(u"/Root").toString();
    e.infoRef = trailer.value(u"/Info").toString();
    e.root = value(e.rootRef);
    e.info = value(e.infoRef);
    edit(e);
    QJsonObject all = e.added;
    const auto put = [&all](const QString& ref, const QJsonObject& v) {
        if (!ref.isEmpty())
            all.insert(QStringLiteral("obj:") + ref, QJsonObject{{QStringLiteral("value"), v}});
    };
    for (std::size_t i = 0; i < e.pages.size(); ++i) put(e.pageRefs.at(int(i)), e.pages[i]);
    put(e.rootRef, e.root);
    put(e.infoRef, e.info);
    QJsonObject header = q.at(0).toObject();
    QTemporaryDir dir;
    const QString json = dir.filePath(QStringLiteral("edit.json"));
    QFile f(json);
    if (!f.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write the edit");
    f.write(QJsonDocument(QJsonObject{{QStringLiteral("qpdf"), QJsonArray{header, all}}}).toJson());
    f.close();
    const QString made = dir.filePath(QStringLiteral("made.pdf"));
    qpdf({pdf, QStringLiteral("--update-from-json=") + json, made});
    replaceWith(pdf, made);
}

void attachFile(const QString& pdf, const QString& file, const QString& name,
                const QString& mimeType) {
    QTemporaryDir dir;
    const QString made = dir.filePath(QStringLiteral("made.pdf"));
    QStringList args{pdf, QStringLiteral("--add-attachment"), file};
    if (!name.isEmpty())
        args << QStringLiteral("--filename=") + name << QStringLiteral("--key=") + name;
    if (!mimeType.isEmpty()) args << QStringLiteral("--mimetype=") + mimeType;
    args << QStringLiteral("--") << made;
    qpdf(args);
    replaceWith(pdf, made);
}

QJsonObject annotation(const QString& subtype, const QString& contents) {
    return QJsonObject{{QStringLiteral("/Type"), QStringLiteral("/Annot")},
                       {QStringLiteral("/Subtype"), subtype},
                       {QStringLiteral("/Rect"), QJsonArray{10, 10, 40, 40}},
                       {QStringLiteral("/Contents"), QStringLiteral("u:") + contents}};
}

}  // namespace qm::test
