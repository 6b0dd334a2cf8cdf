#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/UserNotification.h"
#include "web/ScriptMessage.h"

namespace parlivo {

// What the page's start-up events and requests of the whole web client ask of its host (the main
// view controller, which coordinates the page's life cycle with the commands).
class PageEventHost {
public:
    virtual ~PageEventHost() = default;

    // "eventHandler" events
    virtual void openSettings() = 0;
    virtual void pageDidInit(const std::shared_ptr<platform::JavaScriptEvaluator>& webView) = 0;
    virtual void pageWillStartup() = 0;
    virtual void pageDidStartup() = 0;
    virtual void reloadRequested() = 0;
    virtual void logoutRequested() = 0;
};

// The services the page's messages ask for (PageServices carries them out).
class PageServiceHost {
public:
    virtual ~PageServiceHost() = default;

    // "incomingMessageHandler"
    virtual void showDesktopNotification(const IncomingMessage& message) = 0;
    // "eventHandler" events
    virtual void contactWithError() = 0;
    virtual void toggleDoNotDisturb() = 0;
    virtual void removeNotifications() = 0;
    virtual void checkForUpdates() = 0;
    // "eventHandler" actions
    // The page closed its notification ("closeNotification" with the notification's "id").
    virtual void closeNotification(const std::string& identifier) {}
    virtual void saveDownload(std::string dataURL, const std::string& mimeType,
                              const std::optional<std::string>& fileName) = 0;
    virtual void openExternalURL(const std::string& url) = 0;
    virtual void loadURLInWebView(const std::string& url) = 0;
    // The configured page's address, which "openURLInApp" may stay on; none before a configuration.
    virtual std::optional<std::string> configuredPageURL() = 0;
    virtual void sendMail(const std::string& address, const std::string& subject, const std::string& message) = 0;
    virtual void exitProcess(int code) = 0;
    // "audioHandler" and "ffmpegHandler": the answer goes to `webView` (the page that asked).
    virtual void convertAudio(const std::string& id, const std::string& url,
                              std::weak_ptr<platform::JavaScriptEvaluator> webView) = 0;
    // `source`: the input as the page gave it, Base64 after "base64," (it may be a whole file:
    // the host decodes it off the main thread; a source that does not decode gets no answer).
    virtual void runFFmpeg(const std::string& id, std::string source, const std::string& inDataType,
                           const std::string& outDataType, platform::ScriptValue::Array parameters,
                           std::weak_ptr<platform::JavaScriptEvaluator> webView) = 0;
};

// Everything the page's messages ask, of one object (tests record it all in one place).
class PageBridgeHost : public PageEventHost, public PageServiceHost {};

// The page bridge of the main view controller: "incomingMessageHandler", "logHandler",
// "eventHandler", "audioHandler" and "ffmpegHandler". Reads each message, refuses every body that
// lacks the expected shape, and hands the rest to the event host or the services. Page messages are untrusted: nothing
// here trusts a type, a size or a text of the page.
class PageMessageDispatcher : public platform::ScriptMessageHandler {
public:
    static constexpr std::string_view kClassName = "ViewController";
    static constexpr std::string_view incomingMessageHandler = "incomingMessageHandler";
    static constexpr std::string_view logHandler = "logHandler";
    static constexpr std::string_view eventHandler = "eventHandler";
    static constexpr std::string_view audioHandler = "audioHandler";
    static constexpr std::string_view ffmpegHandler = "ffmpegHandler";

    PageMessageDispatcher(std::weak_ptr<PageEventHost> events, std::weak_ptr<PageServiceHost> services)
        : events_(std::move(events)), services_(std::move(services)) {}
    explicit PageMessageDispatcher(const std::shared_ptr<PageBridgeHost>& host) : PageMessageDispatcher(host, host) {}

    void didReceiveScriptMessage(const platform::ScriptMessage& message) override;
    platform::ScriptMessageShape messageShape(std::string_view name) const override;

    // The most a notification's title, body and chat tag take together, and the most of a mail's
    // texts: a message past them is refused before it is read.
    static constexpr std::size_t maximumNotificationTextBytes = std::size_t(1) << 20;
    static constexpr std::size_t maximumMailTextBytes = std::size_t(1) << 20;
    // A file the page hands over whole (a download's data URL, a conversion's Base64 input).
    static constexpr std::size_t maximumFileMemberBytes = std::size_t(384) << 20;

    // The new-message dictionary as the notification builder reads it; none for other bodies.
    static std::optional<IncomingMessage> incomingMessage(const platform::ScriptValue& body);

private:
    void handleEvent(PageEventHost& events, PageServiceHost& services, const platform::ScriptMessage& message);
    void handleAction(PageServiceHost& services, const platform::ScriptValue& body);
    void handleAudio(PageServiceHost& services, const platform::ScriptMessage& message);
    void handleFFmpeg(PageServiceHost& services, const platform::ScriptMessage& message);

    std::weak_ptr<PageEventHost> events_;
    std::weak_ptr<PageServiceHost> services_;
};

}  // namespace parlivo
