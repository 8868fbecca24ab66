#include "app/hovercursor.h"

#include <QFile>
#include <QImage>
#include <QPixmap>

#include "fs/fs.h"

namespace qm {

namespace {

// A .cur file begins with a directory: reserved (2 bytes), type 2 (2), count (2),
// then per image width, height, colours, reserved (1 byte each) and the hot
// spot's x and y (2 bytes each, little-endian).
bool readHotSpot(const QString& path, int& x, int& y) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = f.read(14);
    if (head.size() < 14) return false;
    auto u16 = [&](int at) {
        return static_cast<int>(static_cast<unsigned char>(head[at]) |
                                (static_cast<unsigned char>(head[at + 1]) << 8));
    };
    if (u16(0) != 0 || u16(2) != 2 || u16(4) < 1) return false;
    x = u16(10);
    y = u16(12);
    return true;
}

}  // namespace

QCursor loadHoverCursor(const QString& applicationFolder) {
    const QString path = applicationFolder + QStringLiteral("/HAND-M.CUR");
    if (applicationFolder.isEmpty() || !fs::exists(path)) return QCursor(Qt::PointingHandCursor);
    QImage image;
    if (!image.load(path, "cur") && !image.load(path)) return QCursor(Qt::PointingHandCursor);
    int x = -1, y = -1;
    if (!readHotSpot(path, x, y) || x >= image.width() || y >= image.height()) x = y = -1;
    return QCursor(QPixmap::fromImage(image), x, y);
}

}  // namespace qm
