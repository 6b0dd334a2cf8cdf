#pragma once

#include <gtkmm/builder.h>
#include <gtkmm/drawingarea.h>

namespace tovak {

enum class WQCheckMarkViewType { check, x, exclamation, question };

// A round status badge: a white check on green, cross on red, "!" or "?" on yellow, fitted
// into the widget's bounds (the largest centred square).
class WQCheckMarkView : public Gtk::DrawingArea {
public:
    WQCheckMarkView();
    // Made from an interface file (Gtk::Builder::get_widget_derived on a GtkDrawingArea).
    WQCheckMarkView(BaseObjectType* object, const Glib::RefPtr<Gtk::Builder>& builder);

    WQCheckMarkViewType type() const { return type_; }
    // Redraws at the next frame, also when the kind does not change.
    void setType(WQCheckMarkViewType type);

    // Draws the mark of `type` into `frame` of `context` (what on_draw does with the bounds).
    static void drawMark(const Cairo::RefPtr<Cairo::Context>& context, WQCheckMarkViewType type, double x, double y,
                         double width, double height);

protected:
    bool on_draw(const Cairo::RefPtr<Cairo::Context>& context) override;

private:
    WQCheckMarkViewType type_ = WQCheckMarkViewType::check;
};

}  // namespace tovak
