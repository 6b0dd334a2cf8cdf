#pragma once

#include <memory>
#include <string_view>

namespace Gtk {
class Widget;
class Box;
class Spinner;
class Label;
}  // namespace Gtk

namespace parlivo {

// The loading screen: a spinner and "Loading ...", shown while the configuration and the page load.
class LoadingViewController {
public:
    static constexpr std::string_view storyboardIdentifier = "LoadingViewController";

    static std::shared_ptr<LoadingViewController> create();
    ~LoadingViewController();

    Gtk::Widget& view();

private:
    LoadingViewController();
    void viewDidLoad();

    std::unique_ptr<Gtk::Box> view_;
    Gtk::Spinner* loadingIndicator_ = nullptr;
    Gtk::Label* loadingTextField_ = nullptr;
};

}  // namespace parlivo
