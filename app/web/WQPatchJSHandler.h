#pragma once

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
    static constexpr std::string_view messageName = "WQPatchJSHandler";
    // The name the custom-loaded page is patched under.
    static constexpr std::string_view customIndexName = "WQCustomIndex.html";

    // "var wqPatchPrefixes = [...];" listing each distinct prefix once, in order.
    static std::string makePatchPrefixesScript(const std::vector<TextPatch>& patches);

    // Replaced (never merged) with the configuration's list; none counts as empty.
    void setPatches(std::optional<std::vector<TextPatch>> patches) { patches_ = std::move(patches); }
    const std::optional<std::vector<TextPatch>>& patches() const { return patches_; }

    // Every patch whose prefix is empty or starts `name`, in list order, each on the output of
    // the ones before.
    std::string applyPatches(std::string_view name, std::string text) const;

    void didReceiveScriptMessage(const platform::ScriptMessage& message) override;

private:
    std::optional<std::vector<TextPatch>> patches_;
};

}  // namespace parlivo
