#pragma once
// A scanned page's image straightened before it is read. A sheet laid a
// little askew on the scanner gives lines of text that climb or fall; read as
// they are, their words break. The skew is found on a reduced copy of the
// image (the angle at which its dark pixels, projected along the lines, gather
// into the sharpest rows or columns) and the image is turned back. The images
// are the grey PGM files pdftoppm writes, read and written here, so reading
// needs nothing beyond Qt Core.

#include <QString>
#include <cstdint>
#include <vector>

namespace qm {

// A grey image, one byte a pixel (0 black, 255 white), rows top down.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    bool isNull() const { return width <= 0 || height <= 0; }
    std::uint8_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// A binary PGM (P5, at most 255 levels) read, or a binary PPM (P6, as
// pdfimages writes a scan's pixels) made grey; null when the file is neither.
GreyImage readPgm(const QString& path);
// False when the file could not all be written.
bool writePgm(const GreyImage& image, const QString& path);

// The largest skew looked for, in degrees either way.
inline constexpr double kMaxSkewDegrees = 6.0;
// A page whose skew is smaller is read as it is: a turn would only blur it.
inline constexpr double kMinDeskewDegrees = 0.5;

// The angle, in degrees, of the lines of text of `image` (rows, or the
// columns of a page turned on its side) to its edges; positive when they fall
// to the right. 0 when it cannot be told. `onItsSide` (when given) is set
// when the lines were found as columns.
double findSkew(const GreyImage& image, bool* onItsSide = nullptr);
// `image` turned by `degrees` about its centre (positive: clockwise), the
// same size, what comes in from outside white.
GreyImage rotated(const GreyImage& image, double degrees);

// Whether the lines of text of `image` (straight) stand upside down, told by
// their letters: in Latin script more strokes rise above the small letters
// (b, d, h, k, l, t, capitals, figures) than fall below them (g, j, p, q, y),
// so a line whose ink reaches further below its middle band than above it is
// upside down. The lines are looked for in vertical strips, so that the lines
// of columns beside each other are told apart. For a page whose lines run
// across it (a page on its side is told by findSkew); false when it cannot be
// told (too few lines: a picture, an empty page).
bool looksUpsideDown(const GreyImage& image);

// Whether two images of a page show the same: of one size (within two
// pixels: the render's size is the page's, rounded), and every block of 16 by
// 16 pixels of about the same mean darkness. A render of a page smooths
// the letters of its scan, and so tells apart from the scan's own pixels only
// at their edges; a box drawn over the scan (a redaction) changes whole blocks.
bool showTheSame(const GreyImage& a, const GreyImage& b);

// Whether `image` is clean paper and ink: fewer than one pixel in twenty of
// the light grey of paper's grain (a clean page's letters give some at their
// edges: 1 to 3 %, in its render too). A scan with grain (or a photograph) is
// not; poppler's render smooths its grain, and tesseract reads the render
// better (bench_ocrquality, 3 pages of grey scans with noise: 99.1 % of the
// words from the render, 97.9 % from the scan's own pixels).
bool looksClean(const GreyImage& image);

// A bilevel scan's strokes made bolder: each level v becomes 255 (v/255)^2,
// so that the grey edges pdftoppm gives a 1-bit image count as ink. At a
// coarse resolution a threshold at half broke thin strokes; tesseract reads
// the darkened image whole (bench_ocrquality, bilevel scans of real manuals:
// 14 pages at 150 dpi 89.3 % of the words against 87.8 %, 6 pages at 200 dpi
// 97.7 against 97.2; no more processor time).
void thickenStrokes(GreyImage& image);

// How straightening a page's image ended.
enum class Straightening { Straight, Turned, Failed };
// The PGM image at `path` turned back by its skew when that is at least
// kMinDeskewDegrees (with `straighten`), its strokes thickened first with
// `thicken`, and turned upright when it looks upside down (with `upright`).
// Turned: the image was written back. Failed: the image could not be read or
// written back.
Straightening straightenScan(const QString& path, bool straighten = true, bool thicken = false,
                             bool upright = false);

}  // namespace qm
