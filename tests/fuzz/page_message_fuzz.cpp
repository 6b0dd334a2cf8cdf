// Page messages of any shape: the patch handler's data-URL reading and the message bodies of
// the patch handler and the alert centre. Any bytes give a refusal or an answer, and every
// answer is a well-formed call whose arguments are safe string literals.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/PropertyList.h"
#include "web/WQAlertCenter.h"
#include "web/WQPatchJSHandler.h"

namespace {

// Skips one double-quoted literal at `at`: no raw control character, quote or line
// separator inside, every backslash escaping something. Aborts on anything else.
size_t skipLiteral(std::string_view script, size_t at) {
    if (at >= script.size() || script[at] != '"') std::abort();
    for (size_t i = at + 1; i < script.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(script[i]);
        if (c == '"') return i + 1;
        if (c < 0x20 || c == 0x7f || c == '\'' || c == '<') std::abort();
        if (script.substr(i, 3) == "\u2028" || script.substr(i, 3) == "\u2029") std::abort();
        if (c == '\\' && ++i >= script.size()) std::abort();
    }
    std::abort();  // never closed
}

void expectLiteral(std::string_view script, size_t& at, std::string_view then) {
    at = skipLiteral(script, at);
    if (script.substr(at, then.size()) != then) std::abort();
    at += then.size();
}

// wqPatchJS("…", "…", "…");
void checkPatchAnswer(std::string_view script) {
    constexpr std::string_view head = "wqPatchJS(";
    if (!script.starts_with(head)) std::abort();
    size_t at = head.size();
    expectLiteral(script, at, ", ");
    expectLiteral(script, at, ", ");
    expectLiteral(script, at, ");");
    if (at != script.size()) std::abort();
}

// wqAlertCenter.callback(<integer>, <integer>);
void checkAlertAnswer(std::string_view script) {
    constexpr std::string_view head = "wqAlertCenter.callback(";
    if (!script.starts_with(head) || !script.ends_with(");")) std::abort();
    for (char c : script.substr(head.size(), script.size() - head.size() - 2))
        if (!(c == '-' || c == ',' || c == ' ' || (c >= '0' && c <= '9'))) std::abort();
}

class Recorder : public platform::JavaScriptEvaluator {
public:
    std::vector<std::string> scripts;
    void evaluateJavaScript(const std::string& script, Completion completion) override {
        scripts.push_back(script);
        if (completion) completion(Result{std::nullopt, std::string("not run")});
    }
};

class EndingPresenter : public parlivo::WQAlertCenter::Presenter {
public:
    void present(const parlivo::WQAlertCenter::Request& request, std::function<void(long)> done) override {
        // End each alert with its last button, then once more without one.
        done(parlivo::WQAlertCenter::firstButtonResponse + long(request.buttonTitles.size()) - 1);
        done(parlivo::WQAlertCenter::dismissedResponse);
    }
};

class Center : public parlivo::WQAlertCenter {
public:
    Center() : WQAlertCenter("NSAppearanceNameVibrantLight") { setPresenter(std::make_shared<EndingPresenter>()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    static parlivo::WQPatchJSHandler handler = [] {
        parlivo::WQPatchJSHandler made;
        made.setPatches(std::vector<parlivo::TextPatch>{parlivo::TextPatch::make("1", "", "var", "let \"'\n"),
                                                        parlivo::TextPatch::make("2", "app", "", "never")});
        return made;
    }();
    static Center center;

    // First line: the request's MIME type; the rest: its data URL.
    const size_t lineEnd = text.find('\n');
    const std::string_view mimeType = text.substr(0, lineEnd);
    const std::string_view blob = lineEnd == std::string_view::npos ? std::string_view() : text.substr(lineEnd + 1);
    if (auto script = parlivo::WQPatchJSHandler::scriptFromDataURL(blob, mimeType)) {
        checkPatchAnswer(parlivo::WQPatchJSHandler::answerScript(mimeType, mimeType, handler.applyPatches(mimeType, *script)));
    }

    // The bytes as a message body, as the web view hands it over.
    if (auto body = platform::PropertyList::parse(text)) {
        auto page = std::make_shared<Recorder>();
        handler.didReceiveScriptMessage(platform::ScriptMessage{"WQPatchJSHandler", *body, page});
        for (const auto& script : page->scripts) checkPatchAnswer(script);
        page->scripts.clear();
        center.didReceiveScriptMessage(platform::ScriptMessage{"WQAlertHandler", *body, page});
        if (page->scripts.size() > 1) std::abort();  // one answer per alert
        for (const auto& script : page->scripts) checkAlertAnswer(script);
    }
    return 0;
}
