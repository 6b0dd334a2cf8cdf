#include "web/PageMessageDispatcher.h"

#include <cctype>
#include <climits>
#include <cstdio>

#include "DebugPrint.h"
#include "WQDebugController.h"
#include "foundation/URL.h"
#include "web/NavigationPolicy.h"
#include "web/ScriptValueConversion.h"

namespace parlivo {

namespace {

using platform::ScriptValue;

void debugLog(std::string_view message) { tovak::debugPrint(PageMessageDispatcher::kClassName, message); }
bool debugging() { return tovak::WQDebugController::sharedInstance().debug(); }

const std::string* stringAt(const ScriptValue& body, std::string_view key) { return body[key].asString(); }

// The page's start-up events and requests, by their exact (case-sensitive) names.
enum class Event { settingsClicked, contactWithError, didInit, willStartup, didStartup, reload, logout,
                   toggleDoNotDisturb, removeNotifications, checkForUpdates };

std::optional<Event> eventNamed(std::string_view name) {
    static constexpr std::pair<std::string_view, Event> table[] = {
        {"settingsClicked", Event::settingsClicked}, {"contactWithError", Event::contactWithError},
        {"didInit", Event::didInit}, {"willStartup", Event::willStartup}, {"didStartup", Event::didStartup},
        {"reload", Event::reload}, {"logout", Event::logout}, {"toggleDoNotDisturb", Event::toggleDoNotDisturb},
        {"removeNotifications", Event::removeNotifications}, {"checkForUpdates", Event::checkForUpdates}};
    for (const auto& [text, event] : table)
        if (text == name) return event;
    return std::nullopt;
}

// A file type the page names for a conversion becomes a file name extension: letters and digits only.
bool isPlainExtension(const std::string& text) {
    if (text.empty() || text.size() > 16) return false;
    for (unsigned char c : text)
        if (!std::isalnum(c)) return false;
    return true;
}

}  // namespace

std::optional<IncomingMessage> PageMessageDispatcher::incomingMessage(const ScriptValue& body) {
    if (!body.isDictionary()) return std::nullopt;
    // The one reader of the page's message: text forms of "title" and "body" (a number is its
    // digits, not an empty text), and the limits on "icon" and "id".
    return IncomingMessage::fromMessageBody(body);
}

platform::ScriptMessageShape PageMessageDispatcher::messageShape(std::string_view name) const {
    using Shape = platform::ScriptMessageShape;
    if (name == incomingMessageHandler)
        return Shape::dictionary(maximumNotificationTextBytes, {{"icon", IncomingMessage::maximumIconLength}});
    if (name == logHandler) {
        // Read only to be printed, and the line is cut at a few kilobytes.
        Shape shape;
        shape.read = debugging();
        shape.maxStringBytes = 64 * 1024;
        return shape;
    }
    if (name == eventHandler) {
        // An event's name, or an action with its texts; a download carries its whole file.
        Shape shape = Shape::dictionary(maximumMailTextBytes, {{"download", maximumFileMemberBytes}});
        shape.kinds |= Shape::strings;
        return shape;
    }
    if (name == audioHandler) return Shape::dictionary(64 * 1024);
    if (name == ffmpegHandler) return Shape::dictionary(64 * 1024, {{"src", maximumFileMemberBytes}});
    return {};
}

void PageMessageDispatcher::didReceiveScriptMessage(const platform::ScriptMessage& message) {
    auto events = events_.lock();
    auto services = services_.lock();
    if (!events || !services) return;
    const std::string& name = message.name;
    if (name == incomingMessageHandler) {
        debugLog("New incoming message!");
        if (auto incoming = incomingMessage(message.body)) services->showDesktopNotification(*incoming);
    } else if (name == logHandler) {
        // The text is only built when it is printed: the page logs a lot.
        if (debugging()) debugLog("JSLog: " + platform::describeScriptValue(message.body));
    } else if (name == eventHandler) {
        handleEvent(*events, *services, message);
    } else if (name == audioHandler) {
        handleAudio(*services, message);
    } else if (name == ffmpegHandler) {
        handleFFmpeg(*services, message);
    } else {
        std::printf("####### UNHANDLED MESSAGE! #######\nTITLE: %s\n", platform::describeScriptValue(message.body).c_str());
        std::fflush(stdout);
    }
}

void PageMessageDispatcher::handleEvent(PageEventHost& events, PageServiceHost& services,
                                        const platform::ScriptMessage& message) {
    if (const std::string* text = message.body.asString()) {
        const auto event = eventNamed(*text);
        if (!event) return;
        switch (*event) {
        case Event::settingsClicked: events.openSettings(); break;
        case Event::contactWithError: services.contactWithError(); break;
        case Event::didInit:
            debugLog("JS didInit");
            events.pageDidInit(message.webView.lock());
            break;
        case Event::willStartup: events.pageWillStartup(); break;
        case Event::didStartup: events.pageDidStartup(); break;
        case Event::reload: events.reloadRequested(); break;
        case Event::logout: events.logoutRequested(); break;
        case Event::toggleDoNotDisturb: services.toggleDoNotDisturb(); break;
        case Event::removeNotifications: services.removeNotifications(); break;
        case Event::checkForUpdates: services.checkForUpdates(); break;
        }
        return;
    }
    if (message.body.isDictionary()) handleAction(services, message.body);
}

void PageMessageDispatcher::handleAction(PageServiceHost& services, const ScriptValue& body) {
    const std::string* action = stringAt(body, "action");
    if (!action) return;
    if (*action == "download") {
        const std::string* data = stringAt(body, "download");
        const std::string* mimeType = stringAt(body, "mimeType");
        if (!data || !mimeType) return;
        std::optional<std::string> fileName;
        if (const std::string* name = stringAt(body, "fileName")) fileName = *name;
        services.saveDownload(std::string(*data), *mimeType, fileName);
    } else if (*action == "openURL") {
        const std::string* url = stringAt(body, "url");
        if (!url || !platform::URL::parse(*url)) return;
        // Only addresses a browser or mail program handles: never files, programs or other schemes.
        if (!navigation::isOpenableExternally(*url)) {
            debugLog("Not opening " + *url + ": not an http, https or mailto address");
            return;
        }
        services.openExternalURL(*url);
    } else if (*action == "openURLInApp") {
        const std::string* url = stringAt(body, "url");
        if (!url || !platform::URL::parse(*url)) return;
        const auto page = services.configuredPageURL();
        if (page && navigation::hasSameOrigin(*url, *page)) {
            services.loadURLInWebView(*url);
        } else if (navigation::isOpenableExternally(*url)) {
            // Another site never replaces the web client: it opens in the browser.
            services.openExternalURL(*url);
        } else {
            debugLog("Not opening " + *url + " in the web view: outside the web client");
        }
    } else if (*action == "sendMail") {
        const std::string* address = stringAt(body, "address");
        const std::string* subject = stringAt(body, "subject");
        const std::string* text = stringAt(body, "message");
        if (!address || !subject || !text) return;
        services.sendMail(*address, *subject, *text);
    } else if (*action == "closeNotification") {
        // The page's notification.close(): only an id that can name one of its notifications.
        const std::string* id = stringAt(body, "id");
        if (!id || id->empty() || id->size() > IncomingMessage::maximumIdentifierLength) return;
        services.closeNotification(*id);
    } else if (*action == "exit") {
        const auto code = body["code"].asInt();
        // The exit status is an int; a code outside its range is no request.
        if (!code || *code < INT_MIN || *code > INT_MAX) return;
        services.exitProcess(static_cast<int>(*code));
    }
}

void PageMessageDispatcher::handleAudio(PageServiceHost& services, const platform::ScriptMessage& message) {
    const std::string* id = stringAt(message.body, "id");
    const std::string* src = stringAt(message.body, "src");
    if (!message.body.isDictionary() || !id || !src) return;
    const auto url = platform::URL::parse(*src);
    if (!url) return;
    // The audio is fetched by the program itself: only from the web, never files or other schemes.
    if (!url->isHTTP()) {
        debugLog("Not fetching audio from " + *src + ": not an http or https address");
        return;
    }
    services.convertAudio(*id, *src, message.webView);
}

void PageMessageDispatcher::handleFFmpeg(PageServiceHost& services, const platform::ScriptMessage& message) {
    const ScriptValue& body = message.body;
    if (!body.isDictionary()) return;
    const std::string* src = stringAt(body, "src");
    if (!src) return;
    const std::string* id = stringAt(body, "id");
    if (!id) return;
    const auto* parameters = body["parameters"].asArray();
    if (!parameters) return;
    const std::string* inDataType = stringAt(body, "inDataType");
    const std::string* outDataType = stringAt(body, "outDataType");
    if (!inDataType || !outDataType) return;
    if (!isPlainExtension(*inDataType) || !isPlainExtension(*outDataType)) {
        debugLog("Refused a conversion with file types that are no plain extensions");
        return;
    }
    services.runFFmpeg(*id, std::string(*src), *inDataType, *outDataType, *parameters, message.webView);
}

}  // namespace parlivo
