#pragma once

#include <cairomm/context.h>

namespace tovak {

// The vector drawings of WQCheckMarkView: a white check, cross, "!" or "?" on a coloured disc,
// designed in a 120 × 120 space (origin lower left, y up) and fitted into the target frame.
// Frames are in the target's own coordinates (GTK's: origin top left, y down).
class WQCheckMarkKit {
public:
    enum class ResizingBehavior { aspectFit = 0, aspectFill = 1, stretch = 2, center = 3 };

    struct Rect {
        double x = 0, y = 0, width = 0, height = 0;
        bool operator==(const Rect&) const = default;
    };

    static constexpr Rect kDesignRect{0, 0, 120, 120};

    // `rect` scaled by the behaviour and centred in `target`; `rect` itself when the two are equal
    // or the target is the zero rectangle.
    static Rect resizingBehaviorApply(ResizingBehavior behavior, Rect rect, Rect target);

    static void drawCheck(const Cairo::RefPtr<Cairo::Context>& context, Rect frame,
                          ResizingBehavior resizing = ResizingBehavior::aspectFit);
    static void drawX(const Cairo::RefPtr<Cairo::Context>& context, Rect frame,
                      ResizingBehavior resizing = ResizingBehavior::aspectFit);
    static void drawExclamation(const Cairo::RefPtr<Cairo::Context>& context, Rect frame,
                                ResizingBehavior resizing = ResizingBehavior::aspectFit);
    static void drawQuestion(const Cairo::RefPtr<Cairo::Context>& context, Rect frame,
                             ResizingBehavior resizing = ResizingBehavior::aspectFit);
};

}  // namespace tovak
