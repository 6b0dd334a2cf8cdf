#include "web/WQPatchJSHandler.h"

#include <glib.h>

#include <algorithm>
#include <memory>
#include <set>
#include <span>

#include "DebugPrint.h"
#include "StringExtensions.h"
#include "WQBase64DataConverter.h"
#include "system/Crypto.h"

namespace parlivo {

namespace {

constexpr std::string_view kBase64Marker = ";base64,";
constexpr std::string_view kDataMarker = "data:";

// The piece between the first `separator` and the next one (or the end); none when `text`
// holds no separator.
std::optional<std::string_view> secondPiece(std::string_view text, std::string_view separator) {
    const size_t first = text.find(separator);
    if (first == std::string_view::npos) return std::nullopt;
    std::string_view rest = text.substr(first + separator.size());
    return rest.substr(0, rest.find(separator));
}

void replaceAll(std::string& text, std::string_view before, std::string_view after) {
    size_t at = text.find(before);
    if (at == std::string::npos) return;
    std::string result;
    result.reserve(text.size());
    size_t from = 0;
    for (; at != std::string::npos; at = text.find(before, from)) {
        result.append(text, from, at - from);
        result.append(after);
        from = at + before.size();
    }
    result.append(text, from, std::string::npos);
    text = std::move(result);
}

const std::string* stringEntry(const platform::PropertyList::Dictionary& body, const char* key) {
    const auto found = body.find(key);
    return found == body.end() ? nullptr : found->second.asString();
}

}  // namespace

std::string WQPatchJSHandler::makePatchPrefixesScript(const std::vector<TextPatch>& patches) {
    std::string script = "var wqPatchPrefixes = [";
    std::set<std::string, std::less<>> written;
    for (size_t index = 0; index < patches.size(); ++index) {
        const std::string& prefix = patches[index].namePrefix();
        if (!written.insert(prefix).second) continue;
        // The first patch is always written, so the index tells whether one stands before.
        if (index > 0) script += ",";
        script += "'" + tovak::stringEscapedForJavascript(prefix) + "'";
    }
    return script + "];";
}

std::string WQPatchJSHandler::applyPatches(std::string_view name, std::string text) const {
    if (!patches_) return text;
    for (const TextPatch& patch : *patches_) {
        // Nothing to find would mean "insert between every character": not a patch anyone wrote.
        if (patch.before().empty()) continue;
        if (!patch.namePrefix().empty() && !name.starts_with(patch.namePrefix())) continue;
        replaceAll(text, patch.before(), patch.after());
    }
    return text;
}

std::optional<std::string> WQPatchJSHandler::scriptFromDataURL(std::string_view blob, std::string_view mimeType) {
    if (blob.size() > maximumBlobSize) return std::nullopt;
    const size_t marker = blob.find(kBase64Marker);
    if (marker == std::string_view::npos) return std::nullopt;
    const auto urlMimeType = secondPiece(blob.substr(0, marker), kDataMarker);
    if (!urlMimeType || *urlMimeType != mimeType) return std::nullopt;
    const std::string_view payload = *secondPiece(blob, kBase64Marker);

    // The one Base64 reader skips what is not Base64 (line breaks, blanks) and decodes what
    // follows its marker; commas are dropped first so none can pass for another marker.
    std::string marked = "base64,";
    marked.reserve(marked.size() + payload.size());
    std::copy_if(payload.begin(), payload.end(), std::back_inserter(marked), [](char c) { return c != ','; });
    auto bytes = tovak::WQBase64DataConverter().base64ToData(marked);
    if (!bytes) return std::nullopt;
    std::string script(bytes->begin(), bytes->end());
    if (!g_utf8_validate(script.data(), static_cast<gssize>(script.size()), nullptr)) return std::nullopt;
    return script;
}

std::string WQPatchJSHandler::answerScript(std::string_view id, std::string_view mimeType, std::string_view script) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(script.data());
    const std::string base64 = platform::Crypto::base64(std::span<const uint8_t>(bytes, script.size()));
    return "wqPatchJS(" + tovak::javascriptStringLiteral(id) + ", " + tovak::javascriptStringLiteral(mimeType) + ", " +
           tovak::javascriptStringLiteral(base64) + ");";
}

platform::ScriptMessageShape WQPatchJSHandler::messageShape(std::string_view) const {
    return platform::ScriptMessageShape::dictionary(4 * maximumFieldSize, {{"blob", maximumBlobSize}});
}

void WQPatchJSHandler::didReceiveScriptMessage(const platform::ScriptMessage& message) {
    if (message.name != messageName) return;
    const auto webView = message.webView.lock();
    if (!webView) return;
    const auto* body = message.body.asDictionary();
    if (!body) return;
    const std::string* id = stringEntry(*body, "id");
    const std::string* src = stringEntry(*body, "src");
    const std::string* blob = stringEntry(*body, "blob");
    const std::string* mimeType = stringEntry(*body, "mimeType");
    if (!id || !src || !blob || !mimeType) return;
    if (id->size() > maximumFieldSize || src->size() > maximumFieldSize || mimeType->size() > maximumFieldSize)
        return;
    auto script = scriptFromDataURL(*blob, *mimeType);
    if (!script) return;

    tovak::debugPrint(kClassName, "Commiting Script: " + *src + " --- " + *id + " --- nil");
    const std::string patched = applyPatches(*src, std::move(*script));
    const std::string answer = answerScript(*id, *mimeType, patched);
    // Padded Base64: four characters for every three bytes begun.
    const size_t base64Length = (patched.size() + 2) / 3 * 4;
    tovak::debugPrint(kClassName,
                      "Final Committing Script: " + *src + " --- " + std::to_string(base64Length) + " --- nil");
    webView->evaluateJavaScript(answer, [src = *src](const platform::JavaScriptEvaluator::Result& result) {
        tovak::debugPrint(kClassName,
                          "Done Commiting Script: " + src + " with Errors: " + result.error.value_or("nil"));
    });
}

}  // namespace parlivo
