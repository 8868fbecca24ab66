#include "support/richpdf.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <stdexcept>

#include "support/pdfmaker.h"

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
    set(ref, value);
    return ref;
}

void PdfEdit::set(const QString& ref, const QJsonObject& value) {
    added.insert(QStringLiteral("obj:") + ref, QJsonObject{{QStringLiteral("value"), value}});
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
    for (std::size_t i = 0; i < e.pages.size(); ++i) e.set(e.pageRefs.at(int(i)), e.pages[i]);
    e.set(e.rootRef, e.root);
    if (!e.infoRef.isEmpty()) e.set(e.infoRef, e.info);
    const QJsonObject header = q.at(0).toObject();
    QTemporaryDir dir;
    const QString json = dir.filePath(QStringLiteral("edit.json"));
    QFile f(json);
    if (!f.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write the edit");
    f.write(
        QJsonDocument(QJsonObject{{QStringLiteral("qpdf"), QJsonArray{header, e.added}}}).toJson());
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

QJsonObject obj(const char* json, const QStringList& args) {
    QString text = QString::fromUtf8(json);
    for (const QString& a : args) text = text.arg(a);
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

QJsonObject annotation(const QString& subtype, const QString& contents) {
    return obj(R"({"/Type": "/Annot", "/Subtype": "%1", "/Rect": [10, 10, 40, 40],
                   "/Contents": "u:%2"})",
               {subtype, contents});
}

QJsonObject carriedFile(PdfEdit& e, const QString& name, const QByteArray& data) {
    QJsonObject a = annotation(QStringLiteral("/FileAttachment"), {});
    a[QStringLiteral("/FS")] = obj(R"({"/Type": "/Filespec", "/F": "u:%1", "/EF": {"/F": "%2"}})",
                                   {name, e.addStream(data, obj(R"({"/Type": "/EmbeddedFile"})"))});
    return a;
}

QString makeReviewCopy(const QString& folder) {
    const QString report = folder + QStringLiteral("/report.pdf");
    makeTextPdf(report, {QStringLiteral("kiwi one"), QStringLiteral("two")},
                QStringLiteral("kiwi title"));
    editPdf(report, [](PdfEdit& e) {
        const QString field = e.add(obj(R"({"/Type": "/Annot", "/Subtype": "/Widget", "/FT": "/Tx",
            "/T": "u:fruit", "/V": "u:kiwi field", "/Rect": [0, 0, 9, 9]})"));
        const QString note =
            e.add(annotation(QStringLiteral("/Text"), QStringLiteral("kiwi comment")));
        e.pages[1][QStringLiteral("/Annots")] =
            QJsonArray{note, field, carriedFile(e, QStringLiteral("notes.txt"), "kiwi carried")};
        e.root[QStringLiteral("/AcroForm")] =
            QJsonObject{{QStringLiteral("/Fields"), QJsonArray{field}}};
    });
    makeTextPdf(folder + QStringLiteral("/appendix.pdf"),
                {QStringLiteral("a"), QStringLiteral("kiwi b")});
    writeBytes(folder + QStringLiteral("/data.xml"), "<kiwi/>");
    writeBytes(folder + QStringLiteral("/logo.png"), QByteArray("\x89PNG\r\n\x1a\n\0\0", 10));
    attachFile(report, folder + QStringLiteral("/appendix.pdf"));
    attachFile(report, folder + QStringLiteral("/data.xml"));
    attachFile(report, folder + QStringLiteral("/logo.png"), {}, QStringLiteral("image/png"));
    return report;
}

}  // namespace qm::test
