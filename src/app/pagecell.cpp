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
    ResultRow::Place place;
    if (text.attachment.isEmpty()) {
        place.where = page + QStringLiteral(" \u00b7 ") + kind;
        row.place = std::make_shared<const ResultRow::Place>(std::move(place));
        return;
    }
    place.shownPath = pathWithin(row.path, text.attachment);
    if (text.source == TextSource::Pages && text.page == 0 && row.page > 0) {
        // An attached text, its page that of the annotation carrying it.
        place.where = page + QStringLiteral(" \u00b7 ") + text.attachment.last();
    } else {
        place.where = text.attachment.last();
        if (row.page > 0) place.where += QStringLiteral(" p. ") + page;
        if (!kind.isEmpty()) place.where += QStringLiteral(" \u00b7 ") + kind;
    }
    row.place = std::make_shared<const ResultRow::Place>(std::move(place));
    // Opened, the file shows the page whose annotation carries the
    // attachment; without one, its start.
    row.page = text.carrier;
}

}  // namespace qm
