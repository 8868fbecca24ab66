#include "extraction/ocrimage.h"

#include <QFile>
#include <algorithm>
#include <array>
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
    const bool colour = data.startsWith("P6");
    if (!data.startsWith("P5") && !colour) return {};
    qsizetype pos = 2;
    const qint64 w = headerNumber(data, pos), h = headerNumber(data, pos);
    const qint64 levels = headerNumber(data, pos);
    // One blank ends the header.
    if (w <= 0 || h <= 0 || w * h > kMaxPgmPixels || levels <= 0 || levels > 255 ||
        pos >= data.size() || data.size() - pos - 1 < w * h * (colour ? 3 : 1))
        return {};
    GreyImage image;
    image.width = static_cast<int>(w);
    image.height = static_cast<int>(h);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.constData() + pos + 1);
    if (colour) {
        image.pixels.resize(static_cast<std::size_t>(w * h));
        for (std::uint8_t& p : image.pixels) {
            p = static_cast<std::uint8_t>((299 * bytes[0] + 587 * bytes[1] + 114 * bytes[2]) /
                                          1000);
            bytes += 3;
        }
    } else {
        image.pixels.assign(bytes, bytes + w * h);
    }
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
    // The weights of the four neighbours a pixel is taken from (Catmull-Rom:
    // sharper than a straight line between two, which blurs thin strokes) at
    // each 1/64 of a pixel.
    constexpr int phases = 64;
    std::array<std::array<float, 4>, phases> weights{};
    for (int p = 0; p < phases; ++p) {
        const double t = 1.0 * p / phases, t2 = t * t, t3 = t2 * t;
        weights[p] = {float(0.5 * (-t3 + 2 * t2 - t)), float(0.5 * (3 * t3 - 5 * t2 + 2)),
                      float(0.5 * (-3 * t3 + 4 * t2 + t)), float(0.5 * (t3 - t2))};
    }
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
            const int fx = static_cast<int>(std::lround(sx * phases));
            const int fy = static_cast<int>(std::lround(sy * phases));
            const int x0 = fx >> 6, y0 = fy >> 6;  // floor, phases being 64
            if (x0 < 1 || y0 < 1 || x0 + 2 >= image.width || y0 + 2 >= image.height) continue;
            const auto& kx = weights[fx & (phases - 1)];
            const auto& ky = weights[fy & (phases - 1)];
            const std::uint8_t* from =
                image.pixels.data() + static_cast<std::size_t>(y0 - 1) * image.width + x0 - 1;
            float v = 0;
            for (int j = 0; j < 4; ++j, from += image.width)
                v +=
                    ky[j] * (kx[0] * from[0] + kx[1] * from[1] + kx[2] * from[2] + kx[3] * from[3]);
            *to = static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
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

bool showTheSame(const GreyImage& a, const GreyImage& b) {
    if (a.isNull() || b.isNull() || std::abs(a.width - b.width) > 2 ||
        std::abs(a.height - b.height) > 2)
        return false;
    constexpr int block = 16;
    // Levels a block's mean may differ by: smoothing moves a letter's edges,
    // not the darkness of its block.
    constexpr int most = 48;
    const int width = std::min(a.width, b.width), height = std::min(a.height, b.height);
    for (int by = 0; by + block <= height; by += block)
        for (int bx = 0; bx + block <= width; bx += block) {
            int difference = 0;
            for (int y = by; y < by + block; ++y)
                for (int x = bx; x < bx + block; ++x) difference += a.at(x, y) - b.at(x, y);
            if (std::abs(difference) > most * block * block) return false;
        }
    return true;
}

bool looksClean(const GreyImage& image) {
    const auto grain = std::count_if(image.pixels.begin(), image.pixels.end(),
                                     [](std::uint8_t p) { return p >= 192 && p < 240; });
    return !image.isNull() && 20 * static_cast<std::size_t>(grain) < image.pixels.size();
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
