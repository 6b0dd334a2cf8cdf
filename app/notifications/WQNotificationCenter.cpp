#include "notifications/WQNotificationCenter.h"

#include <gdkmm/monitor.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/eventbox.h>
#include <gtkmm/overlay.h>
#include <gtkmm/window.h>

#include <algorithm>
#include <cmath>

#include "DebugPrint.h"
#include "StringExtensions.h"
#include "WindowExtensions.h"
#include "config/DynamicData.h"
#include "config/WQDiagnosis.h"
#include "foundation/URL.h"
#include "settings/Enums.h"
#include "settings/PrivacyGate.h"
#include "settings/Trellik.h"
#include "ui/Appearance.h"

namespace parlivo {

namespace notificationpanel {

std::optional<Size> requestedSize(const platform::PropertyList& minSize) {
    const auto* elements = minSize.asArray();
    // Fewer than two numbers name no size (a lone width would have to guess the height).
    if (!elements || elements->size() < 2) return std::nullopt;
    const auto width = (*elements)[0].asReal();
    const auto height = (*elements)[1].asReal();
    if (!width || !height || !std::isfinite(*width) || !std::isfinite(*height) || *width < 1 || *height < 1)
        return std::nullopt;
    return Size{*width, *height};
}

Rect fitIntoWorkArea(const Rect& current, Size size, const Rect& workArea) {
    Rect fitted{current.x, current.y, std::min(size.width, workArea.width), std::min(size.height, workArea.height)};
    auto keepInside = [](double origin, double length, double areaOrigin, double areaLength) {
        if (origin + length > areaOrigin + areaLength) origin = areaOrigin + areaLength - length;
        return std::max(origin, areaOrigin);
    };
    fitted.x = keepInside(fitted.x, fitted.width, workArea.x, workArea.width);
    fitted.y = keepInside(fitted.y, fitted.height, workArea.y, workArea.height);
    return fitted;
}

std::string callbackScript(std::int64_t notificationId, std::string_view answer) {
    // The answer is the panel page's text: escaped, it reaches the page as it was sent, quotes
    // and all, and can never end the literal it stands in.
    return "wqNotificationCenter.callback(" + tovak::jsNumber(notificationId) + ", '" +
           tovak::stringEscapedForJavascript(answer) + "');";
}

bool isPanelURL(std::string_view url) {
    const auto parsed = platform::URL::parse(url);
    return parsed && parsed->isHTTP() && !parsed->host().empty();
}

}  // namespace notificationpanel

namespace {

void log(std::string_view message) { tovak::debugPrint(WQNotificationCenter::kClassName, message); }

std::string defaultAppearance() {
    return std::string(appearance(Trellik::shared().currentVisualStyle()));
}

// The Mac's vibrancy stands for a translucent backdrop in the theme's light or dark tone; cairo
// has no blur, so it is a little denser than the Mac's.
Glib::RefPtr<Gtk::CssProvider> backdropStyle() {
    static Glib::RefPtr<Gtk::CssProvider> provider = [] {
        auto css = Gtk::CssProvider::create();
        const std::string name = WQNotificationCenter::backdropStyleClass;
        css->load_from_data("." + name + ".light { background-color: rgba(246, 246, 246, 0.93); }\n." + name +
                            ".dark { background-color: rgba(38, 38, 38, 0.93); }\n");
        return css;
    }();
    return provider;
}

}  // namespace

std::string WQNotificationCenter::defaultStartScript() {
    const std::string style(styleName(Trellik::shared().currentVisualStyle()));
    return "var wqStyle = '" + tovak::stringEscapedForJavascript(style) + "'; " + "var wqPlatform = " +
           WQDiagnosis::shared().systemInfoJSON() + "; " + DynamicData::shared().injectionScriptStart().value_or("");
}

WQNotificationCenter::WQNotificationCenter() : WQNotificationCenter(Environment{}) {}

WQNotificationCenter::WQNotificationCenter(Environment environment)
    : environment_(std::move(environment)), visualEffectView_(std::make_unique<Gtk::EventBox>()) {
    if (!environment_.startScript) environment_.startScript = defaultStartScript;
    if (!environment_.appearance) environment_.appearance = defaultAppearance;
    Gtk::EventBox& backdrop = *visualEffectView_;
    // No window of its own (it could not be translucent over its siblings); its input window
    // still takes every click, so none reaches the page under it.
    backdrop.set_visible_window(false);
    backdrop.set_above_child(false);
    backdrop.set_halign(Gtk::ALIGN_FILL);
    backdrop.set_valign(Gtk::ALIGN_FILL);
    backdrop.set_hexpand(true);
    backdrop.set_vexpand(true);
    auto context = backdrop.get_style_context();
    context->add_class(backdropStyleClass);
    context->add_provider(backdropStyle(), GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    backdrop.signal_draw().connect(
        [&backdrop](const Cairo::RefPtr<Cairo::Context>& cr) {
            backdrop.get_style_context()->render_background(cr, 0, 0, backdrop.get_allocated_width(),
                                                            backdrop.get_allocated_height());
            return false;
        },
        false);
}

WQNotificationCenter::~WQNotificationCenter() {
    targetWebView_.reset();
    if (auto* parent = visualEffectView_->get_parent()) dynamic_cast<Gtk::Container&>(*parent).remove(*visualEffectView_);
}

void WQNotificationCenter::didReceiveScriptMessage(const platform::ScriptMessage& message) {
    if (message.name == messageName) {
        // A panel asked for behind the privacy lock waits for the lock's release: it would load
        // the page's content and may grow the window.
        PrivacyGate::shared().showWhenUnlocked([weak = weak_from_this(), message] {
            if (auto self = weak.lock()) self->handleShowRequest(message);
        });
    } else if (message.name == kWQNotificationCallbackHandler) {
        handlePanelMessage(message);
    }
}

void WQNotificationCenter::decidePermission(platform::WebView&, platform::PermissionRequest request) {
    log("Permission " + std::string(platform::permissionKindName(request.kind())) + " for " + request.pageURL() +
        ": denied (the notification panel)");
    request.deny();
}

void WQNotificationCenter::setContentObscured(bool obscured) {
    contentObscured_ = obscured;
    if (targetWebView_) targetWebView_->setContentObscured(obscured);
}

void WQNotificationCenter::showNotificationPanel() {
    auto parent = parentView_.lock();
    if (!parent) return;
    platform::WebView::Configuration configuration;
    configuration.userScripts.push_back(
        {environment_.startScript(), platform::UserScript::InjectionTime::atDocumentStart, false});
    configuration.scriptMessageHandlers.emplace_back(std::string(kWQNotificationCallbackHandler), weak_from_this());
    if (targetWebView_) {
        Gtk::Widget& old = targetWebView_->widget();
        if (auto* container = old.get_parent()) dynamic_cast<Gtk::Container&>(*container).remove(old);
        targetWebView_.reset();
    }
    targetWebView_ = platform::WebView::create(std::move(configuration));
    targetWebView_->setDrawsBackground(false);
    targetWebView_->setAllowsBackForwardNavigationGestures(false);
    targetWebView_->setNavigationDelegate(weak_from_this());
    targetWebView_->setContentObscured(contentObscured_);
    Gtk::Widget& widget = targetWebView_->widget();
    widget.set_halign(Gtk::ALIGN_FILL);
    widget.set_valign(Gtk::ALIGN_FILL);
    widget.set_hexpand(true);
    widget.set_vexpand(true);
}

void WQNotificationCenter::handleShowRequest(const platform::ScriptMessage& message) {
    const auto& body = message.body;
    auto source = message.webView.lock();
    const auto id = body.isDictionary() ? body["id"].asInt() : std::nullopt;
    auto parent = parentView_.lock();
    const auto* url = body.isDictionary() ? body["url"].asString() : nullptr;
    if (!source || !id || !parent || !url || !notificationpanel::isPanelURL(*url)) {
        log("Invalid notification request");
        removeNotificationPanel();
        return;
    }
    showNotificationPanel();
    if (!targetWebView_) {
        removeNotificationPanel();
        return;
    }
    ++panelGeneration_;
    answered_ = false;
    sourceWebView_ = source;

    Gtk::EventBox& backdrop = *visualEffectView_;
    auto context = backdrop.get_style_context();
    const bool dark = environment_.appearance() == platform::Appearance::kVibrantDark;
    context->remove_class(dark ? "light" : "dark");
    context->add_class(dark ? "dark" : "light");
    if (backdrop.get_parent() != parent.get()) {
        if (auto* old = backdrop.get_parent()) dynamic_cast<Gtk::Container&>(*old).remove(backdrop);
        parent->add_overlay(backdrop);
    } else {
        parent->reorder_overlay(backdrop, -1);  // frontmost again
    }
    backdrop.add(targetWebView_->widget());
    backdrop.show_all();

    notificationId_ = *id;
    if (const auto* html = body["html"].asString()) {
        targetWebView_->loadHTML(*html, *url);
    } else {
        targetWebView_->loadURL(*url, loadTimeout);
    }
    if (auto size = notificationpanel::requestedSize(body["minSize"])) {
        if (auto* window = dynamic_cast<Gtk::Window*>(parent->get_toplevel())) resizeWindow(*window, *size);
    }
    isDisplayingNotification_ = true;
}

void WQNotificationCenter::resizeWindow(Gtk::Window& window, notificationpanel::Size size) {
    auto gdkWindow = window.get_window();
    auto monitor = gdkWindow ? window.get_display()->get_monitor_at_window(gdkWindow) : Glib::RefPtr<Gdk::Monitor>();
    notificationpanel::Rect target{0, 0, size.width, size.height};
    if (monitor) {
        Gdk::Rectangle area;
        monitor->get_workarea(area);
        int x = 0, y = 0, width = 0, height = 0;
        window.get_position(x, y);
        window.get_size(width, height);
        target = notificationpanel::fitIntoWorkArea(
            {double(x), double(y), double(width), double(height)}, size,
            {double(area.get_x()), double(area.get_y()), double(area.get_width()), double(area.get_height())});
        if (int(target.x) != x || int(target.y) != y) window.move(int(target.x), int(target.y));
    }
    tovak::animateToSize(window, {target.width, target.height});
}

void WQNotificationCenter::handlePanelMessage(const platform::ScriptMessage& message) {
    // Only the panel on screen answers; a message of a panel that is going away is no answer.
    if (!targetWebView_ || message.webView.lock().get() != static_cast<platform::JavaScriptEvaluator*>(targetWebView_.get()))
        return;
    const auto* answer = message.body.asString();
    if (!answer) {
        removeNotificationPanel();
        return;
    }
    // One answer per panel: the panel is closing once it has answered.
    if (answered_) return;
    auto source = sourceWebView_.lock();
    if (!source) {
        // The page that asked is gone: nobody is left to answer.
        removeNotificationPanel();
        return;
    }
    answered_ = true;
    const std::uint64_t generation = panelGeneration_;
    std::weak_ptr<WQNotificationCenter> weak = weak_from_this();
    source->evaluateJavaScript(notificationpanel::callbackScript(notificationId_, *answer),
                               [weak, generation](const platform::JavaScriptEvaluator::Result&) {
                                   auto self = weak.lock();
                                   // A newer panel replaced this one meanwhile: it stays.
                                   if (self && self->panelGeneration_ == generation) self->removeNotificationPanel();
                               });
}

void WQNotificationCenter::removeNotificationPanel() {
    ++panelGeneration_;
    if (targetWebView_) {
        Gtk::Widget& widget = targetWebView_->widget();
        if (auto* container = widget.get_parent()) dynamic_cast<Gtk::Container&>(*container).remove(widget);
        targetWebView_.reset();
    }
    sourceWebView_.reset();
    answered_ = false;
    if (auto* parent = visualEffectView_->get_parent()) dynamic_cast<Gtk::Container&>(*parent).remove(*visualEffectView_);
    notificationId_ = -1;
    isDisplayingNotification_ = false;
}

void WQNotificationCenter::panelLoadFailed(platform::WebView& webView, const platform::Error& error) {
    if (targetWebView_.get() != &webView) return;
    // A newer load of the panel's own replaced this one: that is no failure of the panel.
    if (error.domain == platform::WebKitNetworkErrorDomain && platform::isLoadCancellation(error)) return;
    log("Notification panel failed to load: " + error.description());
    removeNotificationPanel();
}

void WQNotificationCenter::didFailProvisionalNavigation(platform::WebView& webView, const platform::Error& error) {
    panelLoadFailed(webView, error);
}

void WQNotificationCenter::didFailNavigation(platform::WebView& webView, const platform::Error& error) {
    panelLoadFailed(webView, error);
}

bool WQNotificationCenter::webViewMayShowScriptDialog(platform::WebView&) { return !PrivacyGate::isLocked(); }

void WQNotificationCenter::webContentProcessDidTerminate(platform::WebView& webView) {
    if (targetWebView_.get() != &webView) return;
    log("The notification panel's web process ended");
    removeNotificationPanel();
}

}  // namespace parlivo
