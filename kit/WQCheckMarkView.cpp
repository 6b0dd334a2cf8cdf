#include "WQCheckMarkView.h"

#include "WQCheckMarkKit.h"

namespace tovak {

WQCheckMarkView::WQCheckMarkView() = default;

WQCheckMarkView::WQCheckMarkView(BaseObjectType* object, const Glib::RefPtr<Gtk::Builder>&)
    : Gtk::DrawingArea(object) {}

void WQCheckMarkView::setType(WQCheckMarkViewType type) {
    type_ = type;
    queue_draw();
}

void WQCheckMarkView::drawMark(const Cairo::RefPtr<Cairo::Context>& context, WQCheckMarkViewType type, double x,
                               double y, double width, double height) {
    const WQCheckMarkKit::Rect frame{x, y, width, height};
    switch (type) {
    case WQCheckMarkViewType::check: WQCheckMarkKit::drawCheck(context, frame); break;
    case WQCheckMarkViewType::x: WQCheckMarkKit::drawX(context, frame); break;
    case WQCheckMarkViewType::exclamation: WQCheckMarkKit::drawExclamation(context, frame); break;
    case WQCheckMarkViewType::question: WQCheckMarkKit::drawQuestion(context, frame); break;
    }
}

bool WQCheckMarkView::on_draw(const Cairo::RefPtr<Cairo::Context>& context) {
    // GTK always hands us the whole widget to draw, so the mark is fitted into the bounds.
    drawMark(context, type_, 0, 0, get_allocated_width(), get_allocated_height());
    return true;
}

}  // namespace tovak
