#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/TextPatch.h"
#include "web/ScriptMessage.h"

namespace parlivo {

// The configuration's text patches: the page variable wqPatchPrefixes for the document-start
// script, patching a text by name, and the page's "WQPatchJSHandler" requests (a script as a
// data URL, answered with wqPatchJS(...)). Main thread only.
class WQPatchJSHandler : public platform::ScriptMessageHandler {
public:
    static constexpr std::string_view kClassName = "WQPatchJSHandler";
    static constexpr std::string_view messageName = "WQPatchJSHandler";
    // The name the custom-loaded page is patched under.
    static constexpr std::string_view customIndexName = "WQCustomIndex.html";
    // A request's data URL above this size is refused (the page's largest scripts are a few
    // megabytes; the answer carries the script again).
    static constexpr std::size_t maximumBlobSize = std::size_t(64) << 20;
    // "id", "src" and "mimeType" above this size are refused.
    static constexpr std::size_t maximumFieldSize = 8 * 1024;

    // "var wqPatchPrefixes = [...];" listing each distinct prefix once, in order.
    static std::string makePatchPrefixesScript(const std::vector<TextPatch>& patches);

    // Replaced (never merged) with the configuration's list; none counts as empty.
    void setPatches(std::optional<std::vector<TextPatch>> patches) { patches_ = std::move(patches); }
    const std::optional<std::vector<TextPatch>>& patches() const { return patches_; }

    // Every patch whose prefix is empty or starts `name`, in list order, each on the output of
    // the ones before. A patch with nothing to find is skipped.
    std::string applyPatches(std::string_view name, std::string text) const;

    void didReceiveScriptMessage(const platform::ScriptMessage& message) override;
    platform::ScriptMessageShape messageShape(std::string_view name) const override;

    // The script text of a request's data URL 'data:<MIME type>;base64,<Base64>': none unless
    // the URL's MIME type is exactly `mimeType` and the Base64 text decodes to UTF-8.
    static std::optional<std::string> scriptFromDataURL(std::string_view blob, std::string_view mimeType);
    // The answer: wqPatchJS("<id>", "<mimeType>", "<Base64 of the script>"); every text escaped.
    static std::string answerScript(std::string_view id, std::string_view mimeType, std::string_view script);

private:
    std::optional<std::vector<TextPatch>> patches_;
};

}  // namespace parlivo
