#include "preview/pagewords.h"

#include <QXmlStreamReader>

namespace qm {

namespace {

double number(const QXmlStreamAttributes& a, const char* name) {
    return a.value(QLatin1StringView(name)).toDouble();
}

// Words closer than this share of their height are one piece of the text:
// measured on real pages, where pdftotext writes no blank between them.
constexpr double kJoinedGap = 0.04;

bool endsInHyphen(const QString& word) {
    return word.size() > 0 && (word.back() == u'-' || word.back() == QChar(0x2010));
}

// pdftotext writes a word's control characters as they are, which XML does
// not allow: they are read as characters of the private use area, from
// kStandIn on, and given back afterwards, so the word is the text's.
constexpr char16_t kStandIn = 0xF700;

QByteArray withStandIns(const QByteArray& xhtml) {
    QByteArray out;
    out.reserve(xhtml.size());
    for (const char c : xhtml) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r') {
            out += QString(QChar(kStandIn + b)).toUtf8();
        } else {
            out += c;
        }
    }
    return out;
}

QString withoutStandIns(QString text) {
    for (QChar& c : text)
        if (c.unicode() >= kStandIn && c.unicode() < kStandIn + 0x20)
            c = QChar(c.unicode() - kStandIn);
    return text;
}

}  // namespace

PageWords parsePageWords(const QByteArray& xhtml) {
    PageWords page;
    QXmlStreamReader xml(withStandIns(xhtml));
    int flow = -1, block = -1, line = -1;
    bool inPage = false;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement && xml.name() == u"page") break;
        if (token != QXmlStreamReader::StartElement) continue;
        const auto name = xml.name();
        const QXmlStreamAttributes a = xml.attributes();
        if (name == u"page") {
            inPage = true;
            page.size = QSizeF(number(a, "width"), number(a, "height"));
        } else if (!inPage) {
            continue;
        } else if (name == u"flow") {
            ++flow;
        } else if (name == u"block") {
            ++block;
        } else if (name == u"line") {
            ++line;
        } else if (name == u"word") {
            const QRectF box(QPointF(number(a, "xMin"), number(a, "yMin")),
                             QPointF(number(a, "xMax"), number(a, "yMax")));
            const QString text = withoutStandIns(xml.readElementText());
            if (xml.hasError()) break;
            page.words.push_back({text, box, line, block, flow});
        }
    }
    // The page's end tag read, or the words up to the first fault.
    page.damaged = xml.hasError() || !inPage;
    return page;
}

JoinedPage joinPageWords(const PageWords& page) {
    JoinedPage out;
    const auto& w = page.words;
    out.spans.reserve(w.size());
    for (std::size_t i = 0; i < w.size(); ++i) {
        const QByteArray bytes = w[i].text.toUtf8();
        out.spans.push_back({out.utf8.size(), out.utf8.size() + bytes.size()});
        out.utf8.append(bytes.constData(), bytes.size());
        const bool last = i + 1 == w.size();
        if (!last && w[i + 1].line == w[i].line) {
            const double gap = w[i + 1].box.left() - w[i].box.right();
            if (gap > kJoinedGap * w[i].box.height()) out.utf8 += ' ';
            continue;
        }
        // The line ends here.
        if (!last && w[i + 1].block == w[i].block && endsInHyphen(w[i].text)) {
            // The hyphen goes; the word goes on on the next line.
            const std::size_t cut = w[i].text.back() == u'-' ? 1 : 3;
            out.utf8.resize(out.utf8.size() - cut);
            out.spans.back().end -= cut;
            continue;
        }
        out.utf8 += '\n';
        if (last || w[i + 1].flow != w[i].flow) out.utf8 += '\n';
    }
    out.utf8 += '\f';
    return out;
}

}  // namespace qm
