#include "web/WebView.h"

#include <gtkmm/widget.h>
#include <webkit2/webkit2.h>

#include "foundation/Log.h"
#include "foundation/MainQueue.h"
#include "foundation/WorkQueue.h"
#include "web/WebContext.h"

namespace platform {

namespace {

Error errorFrom(const GError* error) {
    if (!error) return Error{"WebKitError", 0, "Unknown error"};
    return Error{g_quark_to_string(error->domain), error->code, error->message ? error->message : ""};
}

Error timedOutError() {
    return Error{URLErrorDomain, URLErrorCode::timedOut, "The request timed out."};
}

// WebKit's stock context-menu actions by a readable identifier; Reload under the name the
// program's menu code looks for.
std::string identifierForStockAction(WebKitContextMenuAction action) {
    if (action == WEBKIT_CONTEXT_MENU_ACTION_RELOAD) return ContextMenuItem::kReloadItemIdentifier;
    return "WebKitContextMenuAction" + std::to_string(static_cast<int>(action));
}

}  // namespace

std::string_view permissionKindName(PermissionKind kind) {
    switch (kind) {
    case PermissionKind::notifications: return "notifications";
    case PermissionKind::microphone: return "microphone";
    case PermissionKind::camera: return "camera";
    case PermissionKind::microphoneAndCamera: return "microphone and camera";
    case PermissionKind::screen: return "screen";
    case PermissionKind::geolocation: return "geolocation";
    case PermissionKind::pointerLock: return "pointer lock";
    case PermissionKind::deviceInfo: return "device info";
    case PermissionKind::mediaKeySystem: return "media key system";
    case PermissionKind::clipboard: return "clipboard";
    case PermissionKind::websiteDataAccess: return "website data access";
    case PermissionKind::mediaPlugins: return "media plug-ins";
    case PermissionKind::other: break;
    }
    return "other";
}

struct PermissionRequest::State {
    explicit State(WebKitPermissionRequest* request) : request(WEBKIT_PERMISSION_REQUEST(g_object_ref(request))) {}
    ~State() {
        if (!answered) webkit_permission_request_deny(request);
        g_object_unref(request);
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    WebKitPermissionRequest* request;
    bool answered = false;
};

PermissionRequest::PermissionRequest(PermissionKind kind, std::string pageURL, void* webKitRequest)
    : kind_(kind), pageURL_(std::move(pageURL)),
      state_(std::make_shared<State>(static_cast<WebKitPermissionRequest*>(webKitRequest))) {}

void PermissionRequest::allow() {
    if (state_->answered) return;
    state_->answered = true;
    webkit_permission_request_allow(state_->request);
}

void PermissionRequest::deny() {
    if (state_->answered) return;
    state_->answered = true;
    webkit_permission_request_deny(state_->request);
}

bool PermissionRequest::answered() const { return state_->answered; }

namespace {

PermissionKind permissionKindOf(WebKitPermissionRequest* request) {
    if (WEBKIT_IS_USER_MEDIA_PERMISSION_REQUEST(request)) {
        auto* media = WEBKIT_USER_MEDIA_PERMISSION_REQUEST(request);
        if (webkit_user_media_permission_is_for_display_device(media)) return PermissionKind::screen;
        const bool audio = webkit_user_media_permission_is_for_audio_device(media);
        const bool video = webkit_user_media_permission_is_for_video_device(media);
        if (audio && video) return PermissionKind::microphoneAndCamera;
        if (audio) return PermissionKind::microphone;
        if (video) return PermissionKind::camera;
        return PermissionKind::other;
    }
    if (WEBKIT_IS_NOTIFICATION_PERMISSION_REQUEST(request)) return PermissionKind::notifications;
    if (WEBKIT_IS_GEOLOCATION_PERMISSION_REQUEST(request)) return PermissionKind::geolocation;
    if (WEBKIT_IS_POINTER_LOCK_PERMISSION_REQUEST(request)) return PermissionKind::pointerLock;
    if (WEBKIT_IS_DEVICE_INFO_PERMISSION_REQUEST(request)) return PermissionKind::deviceInfo;
    if (WEBKIT_IS_MEDIA_KEY_SYSTEM_PERMISSION_REQUEST(request)) return PermissionKind::mediaKeySystem;
    if (WEBKIT_IS_CLIPBOARD_PERMISSION_REQUEST(request)) return PermissionKind::clipboard;
    if (WEBKIT_IS_WEBSITE_DATA_ACCESS_PERMISSION_REQUEST(request)) return PermissionKind::websiteDataAccess;
    if (WEBKIT_IS_INSTALL_MISSING_MEDIA_PLUGINS_PERMISSION_REQUEST(request)) return PermissionKind::mediaPlugins;
    return PermissionKind::other;
}

void setFeatureEnabled(WebKitSettings* settings, const char* identifier, bool enabled) {
    WebKitFeatureList* features = webkit_settings_get_all_features();
    for (gsize i = 0; i < webkit_feature_list_get_length(features); ++i) {
        WebKitFeature* feature = webkit_feature_list_get(features, i);
        if (g_strcmp0(webkit_feature_get_identifier(feature), identifier) == 0)
            webkit_settings_set_feature_enabled(settings, feature, enabled);
    }
    webkit_feature_list_unref(features);
}

// Blurred past reading, whatever the page's own styles say (a user sheet's !important wins).
constexpr const char* kObscuringStyleSheet = "html { filter: blur(18px) !important; }";

}  // namespace

bool isLoadCancellation(const Error& error) {
    if (error.domain == WebKitNetworkErrorDomain) return error.code == WEBKIT_NETWORK_ERROR_CANCELLED;
    if (error.domain == WebKitPolicyErrorDomain)
        return error.code == WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE;
    return false;
}

struct WebView::HandlerEntry {
    WebView* owner;
    std::string name;
    std::weak_ptr<ScriptMessageHandler> handler;
    unsigned long signal = 0;
};

std::shared_ptr<WebView> WebView::create(Configuration configuration) {
    return std::shared_ptr<WebView>(new WebView(std::move(configuration)));
}

WebView::WebView(Configuration configuration) : configuration_(std::move(configuration)) {
    WebKitUserContentManager* manager = webkit_user_content_manager_new();
    WebKitSettings* settings = webkit_settings_new();
    // The microphone and camera of the page's own getUserMedia; what may use them is decided
    // request by request (decidePermission). MediaRecorder turns the stream into a recording.
    webkit_settings_set_enable_media_stream(settings, configuration_.mediaCapture);
    setFeatureEnabled(settings, "MediaRecorder", configuration_.mediaCapture);
    webkit_settings_set_enable_mock_capture_devices(settings, configuration_.mediaCapture && configuration_.mockCaptureDevices);
    view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", WebContext::shared().gobj(),
                                         "user-content-manager", manager, "settings", settings, nullptr));
    g_object_ref_sink(view_);
    g_object_unref(settings);
    g_object_unref(manager);
    cancellable_ = g_cancellable_new();

    for (const auto& script : configuration_.userScripts) {
        WebKitUserScript* user = webkit_user_script_new(
            script.source.c_str(),
            script.forMainFrameOnly ? WEBKIT_USER_CONTENT_INJECT_TOP_FRAME : WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
            script.injectionTime == UserScript::InjectionTime::atDocumentStart ? WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START
                                                                               : WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_END,
            nullptr, nullptr);
        webkit_user_content_manager_add_script(manager, user);
        webkit_user_script_unref(user);
        ++userScriptCount_;
    }
    for (const auto& [name, handler] : configuration_.scriptMessageHandlers) {
        auto entry = std::make_unique<HandlerEntry>(HandlerEntry{this, name, handler});
        // Connected before registering, so no message can come in between.
        const std::string detailed = "script-message-received::" + name;
        entry->signal = g_signal_connect(
            manager, detailed.c_str(), G_CALLBACK(+[](WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
                auto* e = static_cast<HandlerEntry*>(data);
                e->owner->dispatchScriptMessage(*e, result);
            }),
            entry.get());
        if (!webkit_user_content_manager_register_script_message_handler(manager, name.c_str())) {
            systemLog("Script message handler registered twice: " + name, LogLevel::warning);
            g_signal_handler_disconnect(manager, entry->signal);
            continue;
        }
        handlers_.push_back(std::move(entry));
    }
    configuration_.userScripts.clear();
    connectSignals();
}

WebView::~WebView() {
    cancelLoadTimer();
    // Pending evaluations complete (with an error) on the main loop; they never reach this object.
    g_cancellable_cancel(cancellable_);
    g_object_unref(cancellable_);
    for (unsigned long id : viewSignals_) g_signal_handler_disconnect(view_, id);
    removeAllUserContent();
    setContentObscured(false);
    GtkWidget* widget = GTK_WIDGET(view_);
    if (GtkWidget* parent = gtk_widget_get_parent(widget)) gtk_container_remove(GTK_CONTAINER(parent), widget);
    // Closes the page and lets its web process go.
    gtk_widget_destroy(widget);
    g_object_unref(view_);
}

Gtk::Widget& WebView::widget() { return *Glib::wrap(GTK_WIDGET(view_)); }

struct WebView::PendingMessage {
    std::string name;
    std::weak_ptr<ScriptMessageHandler> handler;
    ScriptValue body;
    std::size_t unread = 0;  // large members still being read
    bool refused = false;
};

namespace {

void logRefusal(const std::string& name, const std::string& reason) {
    systemLog("Refused a page message on \"" + name + "\": " + reason, LogLevel::debug);
}

}  // namespace

void WebView::dispatchScriptMessage(HandlerEntry& entry, void* javascriptResult) {
    auto self = shared_from_this();  // a handler may let go of this web view
    auto handler = entry.handler.lock();
    if (!handler) return;
    // Checked and read as the handler's shape allows before anything is copied: a page's
    // oversized value costs the main loop no more than reading its length.
    JSCValue* value = webkit_javascript_result_get_js_value(static_cast<WebKitJavascriptResult*>(javascriptResult));
    auto reading = readScriptMessage(value, handler->messageShape(entry.name), configuration_.limits);
    if (!reading.body) return logRefusal(entry.name, reading.refusal);
    if (reading.deferred.empty() && pendingMessages_.empty()) {
        ScriptMessage message{entry.name, std::move(*reading.body), weak_from_this()};
        handler->didReceiveScriptMessage(message);
        return;
    }
    auto pending = std::make_shared<PendingMessage>(
        PendingMessage{entry.name, entry.handler, std::move(*reading.body), reading.deferred.size(), false});
    pendingMessages_.push_back(pending);
    for (auto& member : reading.deferred) {
        // The copy of a whole file happens on a worker; the value is let go of here, on the
        // main thread, where WebKit's context keeps its own books.
        WorkQueue::global().async([weak = weak_from_this(), pending, member] {
            auto text = scriptStringFromJSC(member.value, member.maxBytes);
            MainQueue::async([weak, pending, member, text = std::move(text)]() mutable {
                g_object_unref(member.value);
                if (text)
                    pending->body.set(member.key, ScriptValue(std::move(*text)));
                else
                    pending->refused = true;
                --pending->unread;
                if (auto view = weak.lock()) view->deliverPendingMessages();
            });
        });
    }
}

void WebView::deliverPendingMessages() {
    auto self = shared_from_this();
    while (!pendingMessages_.empty() && pendingMessages_.front()->unread == 0) {
        auto pending = std::move(pendingMessages_.front());
        pendingMessages_.pop_front();
        if (pending->refused) {
            logRefusal(pending->name, "past the handler's size limits");
            continue;
        }
        if (auto handler = pending->handler.lock()) {
            ScriptMessage message{pending->name, std::move(pending->body), weak_from_this()};
            handler->didReceiveScriptMessage(message);
        }
    }
}

void WebView::removeAllUserContent() {
    WebKitUserContentManager* manager = webkit_web_view_get_user_content_manager(view_);
    webkit_user_content_manager_remove_all_scripts(manager);
    for (auto& entry : handlers_) {
        g_signal_handler_disconnect(manager, entry->signal);
        webkit_user_content_manager_unregister_script_message_handler(manager, entry->name.c_str());
    }
    handlers_.clear();
    userScriptCount_ = 0;
}

std::vector<std::string> WebView::scriptMessageHandlerNames() const {
    std::vector<std::string> names;
    for (const auto& entry : handlers_) names.push_back(entry->name);
    return names;
}

namespace {

struct PendingScript {
    JavaScriptEvaluator::Completion completion;
    ScriptValueLimits limits;

    void finish(JSCValue* value, GError* error) {
        JavaScriptEvaluator::Result outcome;
        if (value) {
            outcome.value = scriptValueFromJSC(value, limits);
            g_object_unref(value);
        } else {
            outcome.error = error && error->message ? error->message : "The script failed";
        }
        if (error) g_error_free(error);
        if (completion) completion(outcome);
    }
};

}  // namespace

void WebView::evaluateJavaScript(const std::string& script, Completion completion) {
    webkit_web_view_evaluate_javascript(
        view_, script.data(), static_cast<gssize>(script.size()), nullptr, nullptr, cancellable_,
        +[](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<PendingScript> done(static_cast<PendingScript*>(data));
            GError* error = nullptr;
            JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
            done->finish(value, error);
        },
        new PendingScript{std::move(completion), configuration_.limits});
}

void WebView::callAsyncJavaScript(const std::string& functionBody, Completion completion) {
    webkit_web_view_call_async_javascript_function(
        view_, functionBody.data(), static_cast<gssize>(functionBody.size()), nullptr, nullptr, nullptr, cancellable_,
        +[](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<PendingScript> done(static_cast<PendingScript*>(data));
            GError* error = nullptr;
            JSCValue* value =
                webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &error);
            done->finish(value, error);
        },
        new PendingScript{std::move(completion), configuration_.limits});
}

void WebView::loadStarted() {
    cancelLoadTimer();
    committed_ = false;
    suppressCancellation_ = false;
}

void WebView::cancelLoadTimer() {
    if (loadTimer_ != 0) g_source_remove(loadTimer_);
    loadTimer_ = 0;
}

void WebView::loadURL(const std::string& url, std::optional<double> timeoutSeconds) {
    loadStarted();
    webkit_web_view_load_uri(view_, url.c_str());
    if (!timeoutSeconds) return;
    const auto milliseconds = static_cast<guint>(std::max(0.0, *timeoutSeconds) * 1000.0);
    loadTimer_ = g_timeout_add(
        milliseconds,
        +[](gpointer data) -> gboolean {
            auto* self = static_cast<WebView*>(data);
            self->loadTimer_ = 0;
            // A load that got its answer, or that never started (a policy cancelled it), is no
            // load that timed out.
            if (self->committed_ || !webkit_web_view_is_loading(self->view_)) return G_SOURCE_REMOVE;
            auto keep = self->shared_from_this();
            // The stop is reported as a cancellation, which stands for our time-out here.
            self->suppressCancellation_ = true;
            webkit_web_view_stop_loading(self->view_);
            if (auto delegate = self->delegate_.lock()) delegate->didFailProvisionalNavigation(*self, timedOutError());
            return G_SOURCE_REMOVE;
        },
        this);
}

void WebView::loadHTML(const std::string& html, const std::string& baseURL) {
    loadStarted();
    webkit_web_view_load_html(view_, html.c_str(), baseURL.empty() ? nullptr : baseURL.c_str());
}

void WebView::stopLoading() {
    cancelLoadTimer();
    webkit_web_view_stop_loading(view_);
}

void WebView::reload() {
    loadStarted();
    webkit_web_view_reload(view_);
}

std::string WebView::url() const {
    const char* uri = webkit_web_view_get_uri(view_);
    return uri ? uri : "";
}

bool WebView::isLoading() const { return webkit_web_view_is_loading(view_); }

void WebView::setCustomUserAgent(const std::string& userAgent) {
    webkit_settings_set_user_agent(webkit_web_view_get_settings(view_), userAgent.empty() ? nullptr : userAgent.c_str());
}

std::string WebView::customUserAgent() const {
    const char* agent = webkit_settings_get_user_agent(webkit_web_view_get_settings(view_));
    return agent ? agent : "";
}

void WebView::setDrawsBackground(bool draws) {
    GdkRGBA color{1, 1, 1, draws ? 1.0 : 0.0};
    webkit_web_view_set_background_color(view_, &color);
}

void WebView::setAllowsBackForwardNavigationGestures(bool allows) {
    webkit_settings_set_enable_back_forward_navigation_gestures(webkit_web_view_get_settings(view_), allows);
}

void WebView::setContentObscured(bool obscured) {
    if (obscured == contentObscured()) return;
    WebKitUserContentManager* manager = webkit_web_view_get_user_content_manager(view_);
    if (obscured) {
        obscuringStyleSheet_ = webkit_user_style_sheet_new(kObscuringStyleSheet, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                                           WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
        webkit_user_content_manager_add_style_sheet(manager, obscuringStyleSheet_);
    } else {
        webkit_user_content_manager_remove_style_sheet(manager, obscuringStyleSheet_);
        webkit_user_style_sheet_unref(obscuringStyleSheet_);
        obscuringStyleSheet_ = nullptr;
    }
}

void WebView::terminateWebProcess() { webkit_web_view_terminate_web_process(view_); }

void WebView::connectSignals() {
    auto connect = [this](const char* signal, GCallback callback) {
        viewSignals_.push_back(g_signal_connect(view_, signal, callback, this));
    };

    // Until its web process has started up, a view has nothing but its background to show, yet
    // WebKit's draw handler waits up to half a second for that process on every frame the window
    // draws (the loading screen's spinner under the view draws one frame after another), which
    // holds up the very start it waits for. Such a frame gets the background from us instead.
    connect("draw", G_CALLBACK(+[](GtkWidget*, cairo_t* cr, gpointer data) -> gboolean {
                auto* self = static_cast<WebView*>(data);
                if (self->webProcessAnswered_) return FALSE;
                GdkRGBA background;
                webkit_web_view_get_background_color(self->view_, &background);
                if (background.alpha > 0) {
                    cairo_set_source_rgba(cr, background.red, background.green, background.blue, background.alpha);
                    cairo_paint(cr);
                }
                return TRUE;
            }));

    connect("decide-policy", G_CALLBACK(+[](WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                            gpointer data) -> gboolean {
                auto* self = static_cast<WebView*>(data);
                self->webProcessAnswered_ = true;
                if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;  // WebKit's own handling
                auto keep = self->shared_from_this();
                WebKitNavigationAction* navigation =
                    webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
                NavigationAction action;
                WebKitURIRequest* request = webkit_navigation_action_get_request(navigation);
                if (const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr; uri && *uri) action.url = uri;
                action.targetsNewWindow = type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION;
                NavigationActionPolicy policy = NavigationActionPolicy::allow;
                if (auto delegate = self->delegate_.lock()) policy = delegate->decidePolicyForNavigationAction(*self, action);
                if (policy == NavigationActionPolicy::allow) {
                    webkit_policy_decision_use(decision);
                } else {
                    webkit_policy_decision_ignore(decision);
                }
                return TRUE;
            }));

    connect("load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) {
                auto* self = static_cast<WebView*>(data);
                self->webProcessAnswered_ = true;
                if (event == WEBKIT_LOAD_STARTED) {
                    // Loads the page starts itself (links, scripts) have no time-out of ours.
                    self->committed_ = false;
                } else if (event == WEBKIT_LOAD_COMMITTED) {
                    self->committed_ = true;
                    self->cancelLoadTimer();
                    auto keep = self->shared_from_this();
                    if (auto delegate = self->delegate_.lock()) delegate->didCommitNavigation(*self);
                } else if (event == WEBKIT_LOAD_FINISHED) {
                    self->cancelLoadTimer();
                    auto keep = self->shared_from_this();
                    if (auto delegate = self->delegate_.lock()) delegate->didFinishNavigation(*self);
                }
            }));

    connect("load-failed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gchar*, GError* gerror,
                                          gpointer data) -> gboolean {
                auto* self = static_cast<WebView*>(data);
                self->webProcessAnswered_ = true;
                auto keep = self->shared_from_this();
                const Error error = errorFrom(gerror);
                if (self->suppressCancellation_ && isLoadCancellation(error)) {
                    self->suppressCancellation_ = false;
                    return TRUE;
                }
                self->cancelLoadTimer();
                if (auto delegate = self->delegate_.lock()) {
                    if (event == WEBKIT_LOAD_COMMITTED) {
                        delegate->didFailNavigation(*self, error);
                    } else {
                        delegate->didFailProvisionalNavigation(*self, error);
                    }
                }
                return TRUE;  // no WebKit error page: the delegate decides what is shown
            }));

    connect("create", G_CALLBACK(+[](WebKitWebView*, WebKitNavigationAction* navigation, gpointer data) -> GtkWidget* {
                auto* self = static_cast<WebView*>(data);
                auto keep = self->shared_from_this();
                NavigationAction action;
                WebKitURIRequest* request = webkit_navigation_action_get_request(navigation);
                if (const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr; uri && *uri) action.url = uri;
                action.targetsNewWindow = true;
                if (auto delegate = self->delegate_.lock()) delegate->createWebViewRequested(*self, action);
                return nullptr;
            }));

    connect("script-dialog", G_CALLBACK(+[](WebKitWebView*, WebKitScriptDialog* dialog, gpointer data) -> gboolean {
                auto* self = static_cast<WebView*>(data);
                auto keep = self->shared_from_this();
                auto delegate = self->delegate_.lock();
                if (!delegate || delegate->webViewMayShowScriptDialog(*self)) return FALSE;  // WebKit's dialog
                // Dismissed unseen: WebKit answers a dialog handled without a reply as closed
                // (alert), not confirmed (confirm) and cancelled (prompt).
                if (webkit_script_dialog_get_dialog_type(dialog) == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM)
                    webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
                return TRUE;
            }));

    connect("web-process-terminated", G_CALLBACK(+[](WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer data) {
                auto* self = static_cast<WebView*>(data);
                auto keep = self->shared_from_this();
                self->cancelLoadTimer();
                // The next load starts a new one.
                self->webProcessAnswered_ = false;
                systemLog("The web process ended (reason " + std::to_string(static_cast<int>(reason)) + ")",
                          LogLevel::warning);
                if (auto delegate = self->delegate_.lock()) delegate->webContentProcessDidTerminate(*self);
            }));

    connect("permission-request", G_CALLBACK(+[](WebKitWebView*, WebKitPermissionRequest* request, gpointer data) -> gboolean {
                auto* self = static_cast<WebView*>(data);
                auto keep = self->shared_from_this();
                PermissionRequest answer(permissionKindOf(request), self->url(), request);
                if (auto delegate = self->delegate_.lock()) {
                    delegate->decidePermission(*self, std::move(answer));
                } else {
                    answer.deny();
                }
                return TRUE;
            }));

    auto keyHandler = G_CALLBACK(+[](GtkWidget*, GdkEventKey* key, gpointer data) -> gboolean {
        auto* self = static_cast<WebView*>(data);
        KeyEvent event;
        event.type = key->type == GDK_KEY_RELEASE ? KeyEvent::Type::release : KeyEvent::Type::press;
        event.keyval = key->keyval;
        event.modifiers = key->state;
        if (!self->handleKeyEvent(event)) return TRUE;
        // The event goes on to WebKit's own handler, which reads the changed state.
        key->state = event.modifiers;
        return FALSE;
    });
    connect("key-press-event", keyHandler);
    connect("key-release-event", keyHandler);

    connect("query-tooltip", G_CALLBACK(+[](GtkWidget* widget, gint x, gint y, gboolean, GtkTooltip*, gpointer data) -> gboolean {
                auto* self = static_cast<WebView*>(data);
                if (self->toolTipAllowedAt(x, y)) return FALSE;
                g_signal_stop_emission_by_name(widget, "query-tooltip");
                return FALSE;
            }));

    connect("context-menu", G_CALLBACK(+[](WebKitWebView*, WebKitContextMenu* menu, GdkEvent*, WebKitHitTestResult*,
                                           gpointer data) -> gboolean {
                auto* self = static_cast<WebView*>(data);
                auto keep = self->shared_from_this();
                std::vector<ContextMenuItem> items;
                GList* webKitItems = webkit_context_menu_get_items(menu);
                int index = 0;
                for (GList* node = webKitItems; node; node = node->next, ++index) {
                    auto* item = static_cast<WebKitContextMenuItem*>(node->data);
                    ContextMenuItem model;
                    model.webKitIndex = index;
                    model.separator = webkit_context_menu_item_is_separator(item);
                    if (!model.separator) model.identifier = identifierForStockAction(webkit_context_menu_item_get_stock_action(item));
                    items.push_back(std::move(model));
                }
                const std::size_t original = items.size();
                self->willOpenContextMenu(items);
                // Hidden WebKit items go (from the end, so the indexes stay right), added ones are appended.
                for (std::size_t i = original; i-- > 0;) {
                    if (!items[i].hidden) continue;
                    if (auto* item = webkit_context_menu_get_item_at_position(menu, static_cast<guint>(items[i].webKitIndex)))
                        webkit_context_menu_remove(menu, item);
                }
                for (std::size_t i = original; i < items.size(); ++i) {
                    const ContextMenuItem& model = items[i];
                    if (model.hidden) continue;
                    if (model.separator) {
                        webkit_context_menu_append(menu, webkit_context_menu_item_new_separator());
                        continue;
                    }
                    const std::string name = "parlivo-item-" + std::to_string(i);
                    GSimpleAction* action = model.checked ? g_simple_action_new_stateful(name.c_str(), nullptr,
                                                                                          g_variant_new_boolean(*model.checked))
                                                          : g_simple_action_new(name.c_str(), nullptr);
                    auto* held = new ContextMenuItem(model);
                    g_object_set_data_full(G_OBJECT(action), "parlivo-item", held,
                                           +[](gpointer p) { delete static_cast<ContextMenuItem*>(p); });
                    g_signal_connect(action, "activate", G_CALLBACK(+[](GSimpleAction* a, GVariant*, gpointer) {
                                         auto* item = static_cast<ContextMenuItem*>(g_object_get_data(G_OBJECT(a), "parlivo-item"));
                                         if (item && item->action) item->action(*item);
                                     }),
                                     nullptr);
                    webkit_context_menu_append(menu, webkit_context_menu_item_new_from_gaction(G_ACTION(action),
                                                                                               model.title.c_str(), nullptr));
                    g_object_unref(action);
                }
                return FALSE;
            }));

    // Connected before WebKit's own class handlers run, so the subclass is asked first.
    connect("drag-motion", G_CALLBACK(+[](GtkWidget* widget, GdkDragContext* context, gint x, gint y, guint time,
                                          gpointer data) -> gboolean {
                auto* self = static_cast<WebView*>(data);
                auto keep = self->shared_from_this();
                if (!self->dragMotion(context, x, y, time)) return FALSE;
                g_signal_stop_emission_by_name(widget, "drag-motion");
                return TRUE;
            }));
    connect("drag-drop", G_CALLBACK(+[](GtkWidget* widget, GdkDragContext* context, gint x, gint y, guint time,
                                        gpointer data) -> gboolean {
                auto* self = static_cast<WebView*>(data);
                auto keep = self->shared_from_this();
                if (!self->dragDrop(context, x, y, time)) return FALSE;
                g_signal_stop_emission_by_name(widget, "drag-drop");
                return TRUE;
            }));
    connect("drag-data-received", G_CALLBACK(+[](GtkWidget* widget, GdkDragContext* context, gint, gint,
                                                 GtkSelectionData* selection, guint, guint time, gpointer data) {
                auto* self = static_cast<WebView*>(data);
                auto keep = self->shared_from_this();
                if (self->dragDataReceived(context, selection, time))
                    g_signal_stop_emission_by_name(widget, "drag-data-received");
            }));
}

}  // namespace platform
