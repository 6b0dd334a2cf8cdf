#pragma once
// Placeholder: the web media bridge's shape; file panels, the camera and conversions come later.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "media/WQDropView.h"
#include "media/WQMediaConversionChain.h"
#include "web/ScriptMessage.h"

namespace parlivo {

class ViewController;

enum class WQWebMediaControllerMediaType : int { video = 0, photo = 1, document = 2 };

// Joins the page's file inputs and camera button ("WQWebMediaHandler") to the native side and
// hands chosen, captured, dropped and shared files to the page. Main thread only.
class WQWebMediaController : public platform::ScriptMessageHandler,
                             public WQDropViewDelegate,
                             public std::enable_shared_from_this<WQWebMediaController> {
public:
    static constexpr std::string_view kClassName = "WQWebMediaController";
    static constexpr std::string_view messageName = "WQWebMediaHandler";

    static std::shared_ptr<WQWebMediaController> create();

    std::weak_ptr<platform::JavaScriptEvaluator> webView;
    std::optional<std::string> lastFileInputId;
    std::weak_ptr<ViewController> parentViewController;
    double jpegQuality = 0.95;

    void didReceiveScriptMessage(const platform::ScriptMessage& message) override;
    void showCamera(const std::vector<WQWebMediaControllerMediaType>& mediaTypes);
    void showOpenPanel(const std::optional<std::string>& fileInputId,
                       const std::vector<WQWebMediaControllerMediaType>& mediaTypes,
                       const std::vector<std::string>& utis, bool multiple);
    void processFileURLs(const std::vector<std::filesystem::path>& fileURLs) override;
    void processFileURLs(const std::vector<std::filesystem::path>& fileURLs,
                         std::vector<std::shared_ptr<void>> owners) override;

    // The conversion chain every file for the page goes through, one request at a time.
    std::shared_ptr<WQMediaConversionChain> conversionChain = WQMediaConversionChain::create(nullptr);

private:
    WQWebMediaController() = default;
};

}  // namespace parlivo
