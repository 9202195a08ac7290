#pragma once

class QWidget;

namespace zelv4 {

// A top-level window whose caption is really empty. Qt never passes an empty title
// to the window system: it shows the application's name instead.
class NativeCaption {
public:
    // Call before the window is first shown. On X11 the window is created now and
    // its names are emptied behind Qt's back; Qt writes them only at creation and
    // on a title change, so they stay empty. Elsewhere the title becomes a single
    // space, the nearest to empty that Qt hands on.
    static void MakeEmpty(QWidget& window);
};

}  // namespace zelv4
