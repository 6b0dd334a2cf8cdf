#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "web/DownloadController.h"
#include "web/PageMessageDispatcher.h"

namespace Gtk {
class Window;
}

namespace parlivo {

class PageLoader;
class Trellik;

// The services the page asks for through its messages and navigations: notifications and
// do-not-disturb (the settings model's), downloads, links, mail, updates, the exit, and audio and
// ffmpeg conversions. The page message dispatcher calls them directly. Main thread only.
class PageServices : public PageServiceHost, public std::enable_shared_from_this<PageServices> {
public:
    struct Environment {
        std::function<bool(const std::string& url)> openExternalURL;  // the desktop's default handler
        std::function<void(int code)> exitProcess;                    // settings written, then exit
        std::shared_ptr<SavePanel> savePanel;                         // GTK's native save dialog
        DownloadController::Fetch fetch;                              // SimpleGetHTTPRequest
    };

    // `page`: the page the links load in and whose last load error the support mail reports.
    static std::shared_ptr<PageServices> create(Trellik& trellik, std::weak_ptr<PageLoader> page, Environment environment);

    // The window the save panel and the failure messages belong to.
    void setWindow(std::weak_ptr<Gtk::Window> window);
    const std::shared_ptr<DownloadController>& downloads() const { return downloads_; }

    void showDesktopNotification(const IncomingMessage& message) override;
    void contactWithError() override;
    void toggleDoNotDisturb() override;
    void removeNotifications() override;
    void checkForUpdates() override;
    void closeNotification(const std::string& identifier) override;
    void saveDownload(std::string dataURL, const std::string& mimeType,
                      const std::optional<std::string>& fileName) override;
    void openExternalURL(const std::string& url) override;
    void loadURLInWebView(const std::string& url) override;
    std::optional<std::string> configuredPageURL() override;
    void sendMail(const std::string& address, const std::string& subject, const std::string& message) override;
    void exitProcess(int code) override;
    void convertAudio(const std::string& id, const std::string& url,
                      std::weak_ptr<platform::JavaScriptEvaluator> webView) override;
    void runFFmpeg(const std::string& id, std::string source, const std::string& inDataType,
                   const std::string& outDataType, platform::ScriptValue::Array parameters,
                   std::weak_ptr<platform::JavaScriptEvaluator> webView) override;

private:
    PageServices(Trellik& trellik, std::weak_ptr<PageLoader> page, Environment environment);
    void setUp();
    void reportFailureToUser(const std::string& message);
    void showFailureDialog(const std::string& message);

    Trellik& trellik_;
    std::weak_ptr<PageLoader> page_;
    Environment environment_;
    std::weak_ptr<Gtk::Window> window_;
    std::shared_ptr<DownloadController> downloads_;
};

}  // namespace parlivo
