// Texts that come from the page (messages, ids, names, data URLs, MIME types, extensions) go
// through the script escaper, the data-URL reader, the type table and the serial code. Any
// bytes give a result; the escaper's output is always a safe literal body.
#include <glib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "BaseConverter.h"
#include "StringExtensions.h"
#include "WQBase64DataConverter.h"
#include "WQFileType.h"

namespace {

void checkEscaped(const std::string& escaped) {
    if (!g_utf8_validate(escaped.data(), static_cast<gssize>(escaped.size()), nullptr)) std::abort();
    for (size_t i = 0; i < escaped.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(escaped[i]);
        if (c < 0x20 || c == 0x7f || c == '"' || c == '\'' || c == '<') std::abort();
        if (c == '\\') {
            if (i + 1 >= escaped.size()) std::abort();  // a lone backslash would eat the quote
            ++i;
        }
    }
    if (escaped.find("\u2028") != std::string::npos || escaped.find("\u2029") != std::string::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checkEscaped(tovak::stringEscapedForJavascript(text));

    (void)tovak::WQBase64DataConverter().base64ToData(text);

    const auto byMime = tovak::WQFileType::fromMIMEType(text);
    const auto byExtension = tovak::WQFileType::fromFileExtension(text.substr(0, 64));
    if (byMime.UTI().empty() || byMime.FileExtension().empty() || byExtension.UTI().empty() ||
        byExtension.MIMEType().empty())
        std::abort();
    (void)byMime.isImage();

    const std::string_view head = text.substr(0, 256);
    (void)tovak::toSerial(tovak::BaseConverter::hexToAlphabet(head), 5, 5);
    (void)tovak::toSerial(head, 3, 4, "-", head.substr(0, 3));
    return 0;
}
