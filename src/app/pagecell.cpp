#include "app/pagecell.h"

namespace qm {

namespace {

QString kindWord(const OtherText& text) {
    switch (text.source) {
        case TextSource::Comments:
            return QStringLiteral("comment");
        case TextSource::Forms:
            return QStringLiteral("field ") + text.name;
        case TextSource::Bookmarks:
            return QStringLiteral("bookmark");
        case TextSource::Properties:
            return text.name.toLower();
        case TextSource::Pages:
        case TextSource::Attachments:
            break;
    }
    return {};
}

}  // namespace

void describeSource(ResultRow& row, const OtherText& text) {
    const QString kind = kindWord(text);
    const QString page = row.page > 0 ? QString::number(row.page) : QStringLiteral("\u2014");
    if (text.attachment.isEmpty()) {
        row.where = page + QStringLiteral(" \u00b7 ") + kind;
        return;
    }
    row.shownPath = pathWithin(row.path, text.attachment);
    row.where = text.attachment.last();
    if (row.page > 0) row.where += QStringLiteral(" p. ") + page;
    if (!kind.isEmpty()) row.where += QStringLiteral(" \u00b7 ") + kind;
    row.page = 0;
}

}  // namespace qm
