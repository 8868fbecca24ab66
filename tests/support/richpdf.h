#pragma once
// Makes PDFs with texts beside their pages: a text PDF from QPdfWriter, then
// objects added by qpdf (--update-from-json) and files attached by qpdf
// (--add-attachment). Needs a QGuiApplication (offscreen is fine).

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace qm::test {

// The objects of a PDF to edit (qpdf's JSON): its pages' dictionaries in
// order, its catalogue and its information dictionary; add() makes a new
// object and returns its reference, set() gives one its value.
struct PdfEdit {
    std::vector<QJsonObject> pages;
    QJsonObject root, info;
    QStringList pageRefs;
    QString rootRef, infoRef;
    int next = 0;
    QJsonObject added;

    QString add(const QJsonObject& value = {});
    void set(const QString& ref, const QJsonObject& value);
    // A stream object with `data` and the dictionary `dict`.
    QString addStream(const QByteArray& data, const QJsonObject& dict);
};

// Rewrites `pdf` in place after `edit` changed its objects. Throws std::runtime_error.
void editPdf(const QString& pdf, const std::function<void(PdfEdit&)>& edit);

// Attaches `file` to `pdf` in place (`name` is its name in the PDF; empty: the file's).
void attachFile(const QString& pdf, const QString& file, const QString& name = {},
                const QString& mimeType = {});

// A JSON object written as text, "%1".."%n" replaced by `args` first.
QJsonObject obj(const char* json, const QStringList& args = {});
// An annotation of `subtype` ("/Text", "/FreeText", ...) with `contents`.
QJsonObject annotation(const QString& subtype, const QString& contents);
// A file-attachment annotation carrying `data` as `name` (in no list of the document's).
QJsonObject carriedFile(PdfEdit& e, const QString& name, const QByteArray& data);

// `folder`/report.pdf, "kiwi" in every kind of text: on page 1 (of 2), in a
// comment and a field ("fruit") on page 2, its title, page 2 of an attached
// appendix.pdf, an attached data.xml and a notes.txt an annotation on page 2
// carries; and an attached logo.png (image/png).
QString makeReviewCopy(const QString& folder);

}  // namespace qm::test
