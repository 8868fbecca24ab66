// quillmark-dragpointer FILE: draws the pointer the file list shows while an
// entry is dragged to another place (an up-and-down arrow beside three list
// lines, black with a white edge so that it shows on any background) and
// saves it as an icon file. Run at build time; the icon goes beside the program.
#include <QCoreApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

QImage drawDragPointer() {
    constexpr int kSide = 32;
    QImage image(kSide, kSide, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // The double arrow: its middle, the hot spot of the pointer, is the centre.
    QPainterPath arrow;
    arrow.moveTo(16, 2);
    arrow.lineTo(24, 11);
    arrow.lineTo(19, 11);
    arrow.lineTo(19, 21);
    arrow.lineTo(24, 21);
    arrow.lineTo(16, 30);
    arrow.lineTo(8, 21);
    arrow.lineTo(13, 21);
    arrow.lineTo(13, 11);
    arrow.lineTo(8, 11);
    arrow.closeSubpath();
    p.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::black);
    p.drawPath(arrow);

    // Three lines of a list to the right of it.
    for (int y : {10, 16, 22}) {
        const QRectF line(25.5, y - 1.5, 5, 3);
        p.setPen(QPen(Qt::white, 1.0));
        p.setBrush(QColor(0x1f, 0x4e, 0x9a));
        p.drawRect(line);
    }
    p.end();
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillmark-dragpointer FILE.ico\n");
        return 2;
    }
    QImageWriter writer(QString::fromLocal8Bit(argv[1]), "ico");
    if (!writer.write(drawDragPointer())) {
        std::fprintf(stderr, "quillmark-dragpointer: %s\n",
                     writer.errorString().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
