#include "Localized.h"

#include "Bundle.h"
#include "FileManager.h"
#include "Log.h"
#include "PropertyList.h"

#include <glib.h>

#include <mutex>
#include <vector>

namespace platform {

namespace {

void appendUtf8(std::string& out, char32_t code) {
    char buffer[8];
    const int length = g_unichar_to_utf8(static_cast<gunichar>(code), buffer);
    out.append(buffer, static_cast<std::size_t>(length));
}

// The text format, read as UTF-8.
class StringsParser {
public:
    explicit StringsParser(std::string_view text) : text_(text) {}

    // Returns false when it stopped at a syntax error.
    bool parse(std::map<std::string, std::string, std::less<>>& entries) {
        for (;;) {
            skipSpaceAndComments();
            if (at_ >= text_.size()) return true;
            auto key = token();
            if (!key) return false;
            skipSpaceAndComments();
            std::string value;
            if (peek() == '=') {
                ++at_;
                skipSpaceAndComments();
                auto parsed = token();
                if (!parsed) return false;
                value = std::move(*parsed);
                skipSpaceAndComments();
            } else {
                value = *key;  // "KEY"; alone means the key is its own text
            }
            if (peek() != ';') return false;
            ++at_;
            entries.insert_or_assign(std::move(*key), std::move(value));
        }
    }

private:
    char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }

    void skipSpaceAndComments() {
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
                ++at_;
            } else if (text_.substr(at_).starts_with("/*")) {
                const std::size_t end = text_.find("*/", at_ + 2);
                at_ = end == std::string_view::npos ? text_.size() : end + 2;
            } else if (text_.substr(at_).starts_with("//")) {
                const std::size_t end = text_.find('\n', at_);
                at_ = end == std::string_view::npos ? text_.size() : end + 1;
            } else {
                return;
            }
        }
    }

    static bool isBareChar(char c) {
        return g_ascii_isalnum(c) || c == '_' || c == '.' || c == '$' || c == ':' || c == '/' || c == '-';
    }

    std::optional<std::string> token() {
        if (peek() == '"') return quoted();
        const std::size_t start = at_;
        while (at_ < text_.size() && isBareChar(text_[at_])) ++at_;
        if (at_ == start) return std::nullopt;
        return std::string(text_.substr(start, at_ - start));
    }

    std::optional<unsigned> hexDigits(std::size_t count) {
        if (text_.size() - at_ < count) return std::nullopt;
        unsigned value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const int digit = g_ascii_xdigit_value(text_[at_ + i]);
            if (digit < 0) return std::nullopt;
            value = value * 16 + static_cast<unsigned>(digit);
        }
        at_ += count;
        return value;
    }

    std::optional<std::string> quoted() {
        ++at_;  // opening quote
        std::string out;
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') return out;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (at_ >= text_.size()) return std::nullopt;
            const char escaped = text_[at_++];
            switch (escaped) {
                case 'n': out.push_back('\n'); break;
                case 't': out.push_back('\t'); break;
                case 'r': out.push_back('\r'); break;
                case 'a': out.push_back('\a'); break;
                case 'b': out.push_back('\b'); break;
                case 'f': out.push_back('\f'); break;
                case 'v': out.push_back('\v'); break;
                case 'U':
                case 'u': {
                    auto unit = hexDigits(4);
                    if (!unit) return std::nullopt;
                    char32_t code = *unit;
                    // A surrogate pair is written as two escapes.
                    if (code >= 0xD800 && code <= 0xDBFF && text_.substr(at_).size() >= 6 && text_[at_] == '\\' &&
                        (text_[at_ + 1] == 'U' || text_[at_ + 1] == 'u')) {
                        const std::size_t saved = at_;
                        at_ += 2;
                        auto low = hexDigits(4);
                        if (low && *low >= 0xDC00 && *low <= 0xDFFF) code = 0x10000 + ((code - 0xD800) << 10) + (*low - 0xDC00);
                        else at_ = saved;
                    }
                    if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;
                    appendUtf8(out, code);
                    break;
                }
                default:
                    out.push_back(escaped);  // \" \\ \' and anything else stand for themselves
            }
        }
        return std::nullopt;  // unterminated
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

std::optional<std::string> toUtf8(std::string_view bytes) {
    const char* from = nullptr;
    if (bytes.starts_with("\xEF\xBB\xBF")) return std::string(bytes.substr(3));
    if (bytes.starts_with("\xFF\xFE")) from = "UTF-16LE";
    else if (bytes.starts_with("\xFE\xFF")) from = "UTF-16BE";
    if (!from) return std::string(bytes);
    bytes.remove_prefix(2);
    gsize written = 0;
    gchar* converted = g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8", from, nullptr, &written, nullptr);
    if (!converted) return std::nullopt;
    std::string result(converted, written);
    g_free(converted);
    return result;
}

const StringsTable& tableFor(const Bundle& bundle) {
    // Never destroyed: texts may be looked up while the process exits.
    static auto* mutex = new std::mutex;
    static auto* tables = new std::map<std::string, StringsTable>;
    std::lock_guard lock(*mutex);
    const std::string folder = bundle.resourcePath().string();
    if (auto found = tables->find(folder); found != tables->end()) return found->second;

    std::optional<std::filesystem::path> path;
    for (const gchar* const* names = g_get_language_names(); !path && names && *names; ++names) {
        const std::string language = *names;
        if (language == "C" || language == "POSIX" || language.find_first_of("./") != std::string::npos) continue;
        path = bundle.pathForResource("Localizable", "strings", language + ".lproj");
    }
    if (!path) path = bundle.pathForResource("Localizable", "strings", "en.lproj");
    StringsTable table = path ? StringsTable::load(path->string()) : StringsTable{};
    if (path && !table.complete())
        systemLog("Localized: syntax error in " + path->string() + "; later entries are ignored", LogLevel::warning);
    return tables->emplace(folder, std::move(table)).first->second;
}

}  // namespace

StringsTable StringsTable::parse(std::string_view bytes) {
    StringsTable table;
    if (bytes.starts_with("bplist") || bytes.starts_with("<?xml") || bytes.starts_with("<plist")) {
        auto plist = PropertyList::parse(bytes);
        if (!plist || !plist->isDictionary()) {
            table.complete_ = false;
            return table;
        }
        for (const auto& [key, value] : *plist->asDictionary())
            if (auto text = value.asString()) table.entries_.emplace(key, *text);
        return table;
    }
    auto text = toUtf8(bytes);
    if (!text) {
        table.complete_ = false;
        return table;
    }
    table.complete_ = StringsParser(*text).parse(table.entries_);
    return table;
}

StringsTable StringsTable::load(const std::string& path) {
    // An unopenable file reads as an empty table, as an empty file would.
    return parse(FileManager::contentsAtPath(path, PropertyList::maxParseBytes).value_or(""));
}

std::optional<std::string> StringsTable::lookup(std::string_view key) const {
    auto found = entries_.find(key);
    if (found == entries_.end()) return std::nullopt;
    return found->second;
}

std::string localized(const Bundle& bundle, const std::string& key, const std::string& englishDefault) {
    return tableFor(bundle).lookup(key).value_or(englishDefault);
}

std::string localized(const std::string& key, const std::string& englishDefault) {
    return localized(Bundle::main(), key, englishDefault);
}

std::string localizedFormat(std::string_view format, std::initializer_list<std::string_view> values) {
    const std::vector<std::string_view> given(values);
    std::string text;
    text.reserve(format.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            text += format[i];
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '@') {
            if (next < given.size()) {
                text += given[next++];
                ++i;
                continue;
            }
        } else {
            // "%N$@": the Nth value.
            std::size_t j = i + 1, index = 0;
            while (j < format.size() && format[j] >= '0' && format[j] <= '9' && index < 1000)
                index = index * 10 + std::size_t(format[j++] - '0');
            if (j > i + 1 && j + 1 < format.size() && format[j] == '$' && format[j + 1] == '@' && index >= 1 &&
                index <= given.size()) {
                text += given[index - 1];
                i = j + 1;
                continue;
            }
        }
        text += '%';
    }
    return text;
}

std::string localizedComment(const std::string& key, const std::string& /*comment*/) {
    return localized(Bundle::main(), key, key);
}

}  // namespace platform
