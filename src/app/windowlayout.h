#pragma once
// The window's controls as designed at its default size, and how each follows
// the window when it grows (its anchors) and when the whole layout is drawn
// larger or smaller (its scale: the desktop's font size, a small screen).

#include <QFont>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <vector>

namespace qm {

class WindowLayout : public QObject {
  public:
    // The edges a control keeps its distance to. Left and Right together: it
    // grows with the window's width; Top and Bottom together: with its height.
    enum Anchor { Left = 1, Top = 2, Right = 4, Bottom = 8 };

    // Takes the window's present size as its default size (and minimum), and
    // every control of the window, and of its frames, as designed: anchored to
    // the left and top until `anchor` says otherwise.
    explicit WindowLayout(QWidget& window);

    void anchor(const QWidget* control, int anchors);
    // Instead of its Left and Right anchors: the control's left edge moves by
    // `left` and its right edge by `right` times what its parent grew in
    // width (0: stays, 1: all of it). Controls side by side split the growth
    // between them; inside a frame, the frame's growth is shared.
    void share(const QWidget* control, double left, double right);
    // The column of a list that takes what the list grows in width (and gives
    // it back when the list shrinks); the other columns keep their widths.
    void setStretchColumn(const QWidget* list, int column);
    // The list's stretch column (-1: none), and what the window's growth has
    // added to it so far.
    int stretchColumn(const QWidget* list) const;
    int stretchGrowth(const QWidget* list) const;

    // Lays the controls out again at `scale` times their designed geometry and
    // point size; the window's minimum becomes its default size at that scale.
    void setScale(double scale);
    double scale() const { return scale_; }
    // The default size at the present scale.
    QSize scaledDefaultSize() const;
    // The default size as designed.
    QSize defaultSize() const { return defaultSize_; }

    // Places every control for the window's present size.
    void arrange();

    // The window's size, place and columns are kept for the next start (it
    // was placed on the screen by the start-up, not made by a test).
    bool kept() const { return kept_; }
    void setKept(bool on) { kept_ = on; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Control {
        QPointer<QWidget> widget;
        QRect designed;
        bool ownFont;  // set on the control itself, not inherited
        QFont font;
        int anchors;
        bool topLevel;  // a child of the window (not of a frame)
        bool shared = false;
        double shareLeft = 0, shareRight = 0;
        int parent = -1;  // its frame's place in controls_; -1: the window
        int stretchColumn = -1;
        int growth = 0;  // added to the stretch column
        // The control is `w`, or the splitter that holds the list `w`.
        bool is(const QWidget* w) const;
    };
    QRect scaled(const QRect& r) const;
    void keepInsideFrames();

    QWidget& window_;
    QSize defaultSize_;
    QFont windowFont_;
    double scale_ = 1.0;
    bool kept_ = false;
    std::vector<Control> controls_;
};

}  // namespace qm
