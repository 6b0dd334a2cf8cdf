#include "media/WQOpenPanel.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>
#include <utility>

#include "foundation/FileType.h"
#include "foundation/Localized.h"

namespace parlivo {

namespace {

using platform::FileType;

// Kinds a chooser can name as a whole ("image/*"), so that files the type table does not list
// (a camera's raw format, say) still count as what they are.
constexpr std::array<std::pair<std::string_view, std::string_view>, 4> wholeKinds{{
    {"public.image", "image/*"},
    {"public.movie", "video/*"},
    {"public.audio", "audio/*"},
    {"public.text", "text/*"},
}};

// Types that every file conforms to: asking for one of them is asking for no filter.
constexpr std::array<std::string_view, 3> everyFile{"public.item", "public.data", "public.content"};

void addOnce(std::vector<std::string>& list, std::string value) {
    if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(std::move(value));
}

// "*.heic" matching "IMG_1.HEIC" too: choosers compare name patterns case-sensitively.
std::string extensionPattern(std::string_view extension) {
    std::string pattern = "*.";
    for (char c : extension) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (std::isalpha(u)) {
            pattern.append("[").append(1, char(std::tolower(u))).append(1, char(std::toupper(u))).append("]");
        } else {
            pattern.append(1, c);
        }
    }
    return pattern;
}

// An entry that is no type identifier may be a plain file-name extension ("pdf").
bool isPlainExtension(std::string_view text) {
    if (text.empty() || text.size() > 16) return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        const unsigned char u = static_cast<unsigned char>(c);
        return std::isalnum(u) || c == '_' || c == '-' || c == '+';
    });
}

std::string filterName(const std::vector<std::string>& types) {
    if (types == std::vector<std::string>{"public.image"}) return platform::localized("OPEN_PANEL_IMAGES", "Images");
    if (types == std::vector<std::string>{"public.movie"}) return platform::localized("OPEN_PANEL_VIDEOS", "Videos");
    if (types == std::vector<std::string>{"public.image", "public.movie"})
        return platform::localized("OPEN_PANEL_IMAGES_AND_VIDEOS", "Images and Videos");
    return platform::localized("OPEN_PANEL_SUPPORTED_FILES", "Supported Files");
}

}  // namespace

WQOpenPanel::Filter WQOpenPanel::filterFor(const std::vector<std::string>& allowedFileTypes) {
    Filter filter;
    for (const auto& type : allowedFileTypes) {
        if (type.empty()) continue;
        if (std::find(everyFile.begin(), everyFile.end(), type) != everyFile.end()) {
            filter.everything = true;
            break;
        }
        for (const auto& [kind, wildcard] : wholeKinds)
            if (FileType::conformsTo(kind, type)) addOnce(filter.mimeTypes, std::string(wildcard));
        bool known = false;
        for (const auto& entry : FileType::table()) {
            if (!FileType::conformsTo(entry.uti, type)) continue;
            known = true;
            for (auto mimeType : entry.mimeTypes) addOnce(filter.mimeTypes, std::string(mimeType));
            for (auto extension : entry.extensions) addOnce(filter.patterns, extensionPattern(extension));
        }
        if (known) continue;
        // Identifiers made for tags outside the table carry their tag.
        if (type.rfind("dyn.ext.", 0) == 0) {
            if (isPlainExtension(type.substr(8))) addOnce(filter.patterns, extensionPattern(type.substr(8)));
        } else if (auto mimeType = FileType::preferredMIMEType(type)) {
            addOnce(filter.mimeTypes, *mimeType);
        } else if (isPlainExtension(type)) {
            addOnce(filter.patterns, extensionPattern(type));
            if (auto uti = FileType::utiForExtension(type))
                if (auto mimeType = FileType::preferredMIMEType(*uti)) addOnce(filter.mimeTypes, *mimeType);
        }
    }
    // Nothing the chooser could match (only unknown identifiers): a panel where nothing can be
    // chosen helps nobody, so it offers every file, as for an empty list.
    if (filter.everything || (filter.mimeTypes.empty() && filter.patterns.empty())) return Filter{true, {}, {}, {}};
    filter.name = filterName(allowedFileTypes);
    return filter;
}

}  // namespace parlivo
