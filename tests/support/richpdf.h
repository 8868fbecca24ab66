#pragma once
// Makes PDFs with texts beside their pages: a text PDF from QPdfWriter, then
// objects added by qpdf (--update-from-json) and files attached by qpdf
// (--add-attachment). Needs a QGuiApplication (offscreen is fine).

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <functional>

namespace qm::test {

// The objects of a PDF to edit: its pages' dictionaries (in order), its
// catalogue and its information dictionary; add() makes a new object and
// returns its reference.
struct PdfEdit {
    std::vector<QJsonObject> pages;
    QJsonObject root, info;
    QString pageRef(int i) const { return pageRefs.at(i); }
    QString add(const QJsonObject& value);
    // A stream object with `data` and the dictionary `dict`.
    QString addStream(const QByteArray& data, const QJsonObject& dict);

    QStringList pageRefs;
    QString rootRef, infoRef;
    int next = 0;
    QJsonObject added;
};

// Rewrites `pdf` in place after `edit` changed its objects. Throws std::runtime_error.
void editPdf(const QString& pdf, const std::function<void(PdfEdit&)>& edit);

// Attaches `file` to `pdf` in place (`name` is its name in the PDF; empty: the file's).
void attachFile(const QString& pdf, const QString& file, const QString& name = {},
                const QString& mimeType = {});

// An annotation of `subtype` ("/Text", "/FreeText", ...) with `contents`.
QJsonObject annotation(const QString& subtype, const QString& contents);

}  // namespace qm::test
