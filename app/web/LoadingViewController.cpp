#include "web/LoadingViewController.h"

#include <gtkmm/box.h>
#include <gtkmm/label.h>
#include <gtkmm/spinner.h>

#include "controls/InterfaceFile.h"
#include "controls/ScreenStyle.h"
#include "foundation/Localized.h"

namespace parlivo {
namespace {

// The spinner turns a bitmap of our own: the theme's spinner is a symbolic SVG, and drawing it
// would load the vector renderer into the process at every start for this one picture. The
// theme's own rules still turn it.
// (The text lives as long as the program: the screen style remembers it by its address.)
const char* indicatorStyle() {
    static const std::string style = "spinner.parlivo-loading-indicator { -gtk-icon-source: url(\"resource://" +
                                     resourcePath("images/LoadingIndicator.png") + "\"); }";
    return style.c_str();
}

}  // namespace

std::shared_ptr<LoadingViewController> LoadingViewController::create() {
    auto controller = std::shared_ptr<LoadingViewController>(new LoadingViewController());
    controller->viewDidLoad();
    return controller;
}

LoadingViewController::LoadingViewController() : view_(std::make_unique<Gtk::Box>(Gtk::ORIENTATION_VERTICAL, 12)) {
    view_->set_halign(Gtk::ALIGN_FILL);
    view_->set_valign(Gtk::ALIGN_FILL);
    view_->get_style_context()->add_class("parlivo-loading-view");
    auto* center = Gtk::make_managed<Gtk::Box>(Gtk::ORIENTATION_VERTICAL, 12);
    center->set_halign(Gtk::ALIGN_CENTER);
    center->set_valign(Gtk::ALIGN_CENTER);
    center->set_vexpand(true);
    loadingIndicator_ = Gtk::make_managed<Gtk::Spinner>();
    loadingIndicator_->set_size_request(32, 32);
    styleWithClass(*loadingIndicator_, indicatorStyle(), "parlivo-loading-indicator");
    loadingTextField_ = Gtk::make_managed<Gtk::Label>();
    center->pack_start(*loadingIndicator_, Gtk::PACK_SHRINK);
    center->pack_start(*loadingTextField_, Gtk::PACK_SHRINK);
    view_->pack_start(*center, Gtk::PACK_EXPAND_WIDGET);
    view_->show_all();
}

LoadingViewController::~LoadingViewController() {
    if (auto* parent = view_->get_parent()) parent->remove(*view_);
}

Gtk::Widget& LoadingViewController::view() { return *view_; }

void LoadingViewController::viewDidLoad() {
    loadingIndicator_->start();
    loadingTextField_->set_text(platform::localizedComment("LOADING", "Loading ..."));
}

}  // namespace parlivo
