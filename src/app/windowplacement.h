#pragma once
// Where and how large the window opens, and what of its size, place and list
// columns is kept for the next start (settings "WindowGeometry",
// "WindowMaximized", "ListView1Columns", "ListView2Columns").

#include <QFont>
#include <QList>
#include <QMargins>
#include <QRect>
#include <QSize>
#include <QString>

namespace qm {

class Form1;

// The point size the window's fonts are designed for: the desktop's usual font.
inline constexpr double kDesignedDesktopPoints = 9.0;

// The desktop font's size against the designed one; 1 when it has no size.
double desktopFontRatio(const QFont& desktopFont);

struct PlacementRequest {
    QList<QRect> screens;  // the available area of each screen, the primary first
    QSize defaultSize;     // the window's default size as designed
    double fontRatio = 1.0;
    QMargins frame;          // what the window manager adds around the window
    QString storedGeometry;  // "x,y,width,height" of the last session; may be anything
    bool storedMaximized = false;
};

struct Placement {
    double scale = 1.0;  // of the designed layout and its fonts
    QRect geometry;      // the window's inside, frame not included
    bool maximized = false;
};

// The scale follows the desktop's font size unless the window would then not
// fit its screen, where it is made smaller until it does. The stored size and
// place are kept when they lie on a screen, moved inside it when they stick
// out, and left for a centred window when they are on none.
Placement planPlacement(const PlacementRequest& request);

// Plans the window's placement from the settings and the screens and applies
// it (scale, stored column widths, geometry, maximized state) before the
// window is shown; from then on `keepWindowPlacement` stores it.
void placeWindow(Form1& form);
// Stores the size, place, maximized state and column widths; nothing for a
// window that was never placed. Failures to write are not reported.
void keepWindowPlacement(Form1& form);

// The settings' form of a rectangle and of column widths.
QString geometryText(const QRect& r);
bool parseGeometry(const QString& text, QRect& r);
QString widthsText(const QList<int>& widths);
QList<int> parseWidths(const QString& text);

}  // namespace qm
