#include "web/WQPatchJSHandler.h"

// Placeholder until the text patches are built.
namespace parlivo {

std::string WQPatchJSHandler::makePatchPrefixesScript(const std::vector<TextPatch>&) {
    return "var wqPatchPrefixes = [];";
}

std::string WQPatchJSHandler::applyPatches(std::string_view, std::string text) const { return text; }

void WQPatchJSHandler::didReceiveScriptMessage(const platform::ScriptMessage&) {}

}  // namespace parlivo
