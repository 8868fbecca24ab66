#include "extraction/ocrimage.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

namespace qm {

namespace {

// The images read are pdftoppm's renders, bounded by kMaxRenderPixels.
constexpr qint64 kMaxPgmPixels = qint64{16000} * 16000;
// The reduced copy the skew is found on is about this wide (about 50 dpi for
// a page of A4 at 200): lines of text stay apart, and few pixels are left.
constexpr int kSkewWidth = 450;
// Steps of darkness between neighbouring reduced pixels smaller than this are
// paper's grain.
constexpr int kMinEdge = 64;

// The next number of a PGM header from `pos`, after blanks and comments; -1
// when there is none.
qint64 headerNumber(const QByteArray& data, qsizetype& pos) {
    while (pos < data.size()) {
        if (data[pos] == '#') {
            while (pos < data.size() && data[pos] != '\n') ++pos;
        } else if (std::isspace(static_cast<unsigned char>(data[pos]))) {
            ++pos;
        } else {
            break;
        }
    }
    qint64 value = -1;
    while (pos < data.size() && data[pos] >= '0' && data[pos] <= '9' && value < (1 << 24))
        value = std::max<qint64>(value, 0) * 10 + (data[pos++] - '0');
    return value;
}

double radians(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}

}  // namespace

GreyImage readPgm(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray data = f.readAll();
    if (!data.startsWith("P5")) return {};
    qsizetype pos = 2;
    const qint64 w = headerNumber(data, pos), h = headerNumber(data, pos);
    const qint64 levels = headerNumber(data, pos);
    // One blank ends the header.
    if (w <= 0 || h <= 0 || w * h > kMaxPgmPixels || levels <= 0 || levels > 255 ||
        pos >= data.size() || data.size() - pos - 1 < w * h)
        return {};
    GreyImage image;
    image.width = static_cast<int>(w);
    image.height = static_cast<int>(h);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.constData() + pos + 1);
    image.pixels.assign(bytes, bytes + w * h);
    if (levels != 255)
        for (std::uint8_t& p : image.pixels) p = static_cast<std::uint8_t>(p * 255 / levels);
    return image;
}

bool writePgm(const GreyImage& image, const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const QByteArray header = "P5\n" + QByteArray::number(image.width) + ' ' +
                              QByteArray::number(image.height) + "\n255\n";
    const auto size = static_cast<qint64>(image.pixels.size());
    bool ok = f.write(header) == header.size() &&
              f.write(reinterpret_cast<const char*>(image.pixels.data()), size) == size;
    ok = f.flush() && ok;
    f.close();
    return ok;
}

double findSkew(const GreyImage& image, bool* onItsSide) {
    if (onItsSide) *onItsSide = false;
    if (image.isNull()) return 0;
    const int factor = std::max(1, image.width / kSkewWidth);
    const int w = image.width / factor, h = image.height / factor;
    struct Dot {
        double x, y, weight;
    };
    std::vector<int> dark(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int by = 0; by < h; ++by)
        for (int bx = 0; bx < w; ++bx) {
            int sum = 0;
            for (int y = by * factor; y < (by + 1) * factor; ++y)
                for (int x = bx * factor; x < (bx + 1) * factor; ++x) sum += image.at(x, y);
            dark[static_cast<std::size_t>(by) * w + bx] = 255 - sum / (factor * factor);
        }
    // The edges of the reduced copy, about its centre: strokes of text give
    // them, a dark border or a photograph's flat parts do not.
    std::vector<Dot> dots;
    for (int by = 0; by + 1 < h; ++by)
        for (int bx = 0; bx + 1 < w; ++bx) {
            const std::size_t at = static_cast<std::size_t>(by) * w + bx;
            const int edge = std::abs(dark[at] - dark[at + 1]) + std::abs(dark[at] - dark[at + w]);
            if (edge >= kMinEdge) dots.push_back({bx - w / 2.0, by - h / 2.0, 1.0 * edge});
        }
    if (dots.size() < 50) return 0;
    // How sharply the dots gather into lines at `degrees`: the sum of the
    // squared steps between neighbouring bins of their projection.
    const int offset = w + h;
    std::vector<double> bins(2 * static_cast<std::size_t>(offset) + 2);
    const auto sharpness = [&](double degrees, bool columns) {
        const double t = std::tan(radians(degrees));
        std::fill(bins.begin(), bins.end(), 0.0);
        for (const Dot& d : dots) {
            const double r = columns ? d.x - d.y * t : d.y - d.x * t;
            bins[static_cast<std::size_t>(std::lround(r) + offset)] += d.weight;
        }
        double s = 0;
        for (std::size_t i = 1; i < bins.size(); ++i)
            s += (bins[i] - bins[i - 1]) * (bins[i] - bins[i - 1]);
        return s;
    };
    double best = -1, bestAngle = 0;
    bool bestColumns = false;
    for (const bool columns : {false, true})
        for (double a = -kMaxSkewDegrees; a <= kMaxSkewDegrees + 1e-9; a += 0.25)
            if (const double s = sharpness(a, columns); s > best) {
                best = s;
                bestAngle = a;
                bestColumns = columns;
            }
    const double coarse = bestAngle;
    for (double a = coarse - 0.2; a <= coarse + 0.2 + 1e-9; a += 0.05)
        if (const double s = sharpness(a, bestColumns); s > best) {
            best = s;
            bestAngle = a;
        }
    // At the end of the range the lines were not found.
    if (std::abs(bestAngle) >= kMaxSkewDegrees) return 0;
    if (onItsSide) *onItsSide = bestColumns;
    // Columns turned clockwise lean to the left.
    return bestColumns ? -bestAngle : bestAngle;
}

GreyImage rotated(const GreyImage& image, double degrees) {
    GreyImage out;
    out.width = image.width;
    out.height = image.height;
    out.pixels.assign(image.pixels.size(), 255);
    const double c = std::cos(radians(degrees)), s = std::sin(radians(degrees));
    const double cx = image.width / 2.0, cy = image.height / 2.0;
    std::uint8_t* to = out.pixels.data();
    for (int y = 0; y < out.height; ++y) {
        // The source of (x, y): the point turned back about the centre.
        const double dy = y + 0.5 - cy;
        double sx = (0.5 - cx) * c + dy * s + cx - 0.5;
        double sy = -(0.5 - cx) * s + dy * c + cy - 0.5;
        for (int x = 0; x < out.width; ++x, ++to, sx += c, sy -= s) {
            const int x0 = static_cast<int>(std::floor(sx)), y0 = static_cast<int>(std::floor(sy));
            if (x0 < 0 || y0 < 0 || x0 + 1 >= image.width || y0 + 1 >= image.height) continue;
            const double fx = sx - x0, fy = sy - y0;
            const double top = image.at(x0, y0) * (1 - fx) + image.at(x0 + 1, y0) * fx;
            const double bottom = image.at(x0, y0 + 1) * (1 - fx) + image.at(x0 + 1, y0 + 1) * fx;
            *to = static_cast<std::uint8_t>(std::lround(top * (1 - fy) + bottom * fy));
        }
    }
    return out;
}

bool looksUpsideDown(const GreyImage& image) {
    if (image.isNull()) return false;
    constexpr int strips = 4;
    const int stripWidth = image.width / strips;
    // Rows with fewer dark pixels than this lie between lines (a noisy scan's
    // specks stay under it).
    const int gap = std::max(2, stripWidth / 100);
    // Lines taller than this are pictures or a page on its side.
    const int tallest = std::max(8, image.height / 20);
    std::vector<int> ink(static_cast<std::size_t>(image.height));
    double above = 0, below = 0;
    int lines = 0;
    for (int strip = 0; strip < strips; ++strip) {
        for (int y = 0; y < image.height; ++y) {
            const std::uint8_t* row = image.pixels.data() +
                                      static_cast<std::size_t>(y) * image.width +
                                      strip * stripWidth;
            ink[y] = static_cast<int>(
                std::count_if(row, row + stripWidth, [](std::uint8_t p) { return p < 128; }));
        }
        for (int y = 0; y < image.height;) {
            if (ink[y] <= gap) {
                ++y;
                continue;
            }
            const int top = y;
            while (y < image.height && ink[y] > gap) ++y;
            if (y - top < 6 || y - top > tallest) continue;
            // The middle band: the rows at least half as dark as the darkest.
            const int darkest = *std::max_element(ink.begin() + top, ink.begin() + y);
            int first = top, last = y - 1;
            while (2 * ink[first] < darkest) ++first;
            while (2 * ink[last] < darkest) --last;
            above += std::accumulate(ink.begin() + top, ink.begin() + first, 0);
            below += std::accumulate(ink.begin() + last + 1, ink.begin() + y, 0);
            ++lines;
        }
    }
    return lines >= 5 && below > 1.5 * above;
}

void thickenStrokes(GreyImage& image) {
    std::uint8_t darker[256];
    for (int v = 0; v < 256; ++v) darker[v] = static_cast<std::uint8_t>((v * v + 127) / 255);
    for (std::uint8_t& p : image.pixels) p = darker[p];
}

Straightening straightenScan(const QString& path, bool straighten, bool thicken, bool upright) {
    GreyImage image = readPgm(path);
    if (thicken && image.isNull()) return Straightening::Failed;
    if (thicken) thickenStrokes(image);
    bool onItsSide = false;
    const double skew = straighten || upright ? findSkew(image, &onItsSide) : 0;
    bool changed = thicken;
    if (straighten && std::abs(skew) >= kMinDeskewDegrees) {
        image = rotated(image, -skew);
        changed = true;
    }
    // Half a turn: the pixels in the opposite order.
    if (upright && !onItsSide && looksUpsideDown(image)) {
        std::reverse(image.pixels.begin(), image.pixels.end());
        changed = true;
    }
    if (!changed) return Straightening::Straight;
    return writePgm(image, path) ? Straightening::Turned : Straightening::Failed;
}

}  // namespace qm
