#include "FileType.h"

#include "Text.h"

#include <gio/gio.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <vector>

namespace platform {

namespace {

// uti, direct parents, MIME types, extensions: space-separated, preferred first.
struct Row {
    std::string_view uti, parents, mimeTypes, extensions;
};

// The preferred tags follow the Mac's database where the program relies on them (jpeg for
// public.jpeg, mov for QuickTime); for m4a the standard "audio/mp4" leads, which every web
// engine plays.
constexpr Row kRows[] = {
    {"public.item", "", "", ""},
    {"public.content", "public.item", "", ""},
    {"public.data", "public.item", "", ""},
    {"public.composite-content", "public.content", "", ""},
    {"public.archive", "public.data", "", ""},

    {"public.image", "public.data public.content", "", ""},
    {"public.jpeg", "public.image", "image/jpeg image/jpg image/pjpeg", "jpeg jpg jpe"},
    {"public.png", "public.image", "image/png", "png"},
    {"com.compuserve.gif", "public.image", "image/gif", "gif"},
    {"public.tiff", "public.image", "image/tiff", "tiff tif"},
    {"com.microsoft.bmp", "public.image", "image/bmp image/x-bmp image/x-ms-bmp", "bmp"},
    {"com.microsoft.ico", "public.image", "image/vnd.microsoft.icon image/x-icon", "ico"},
    {"public.heif-standard", "public.image", "", ""},
    {"public.heif", "public.heif-standard", "image/heif", "heif hif"},
    {"public.heic", "public.heif-standard", "image/heic", "heic"},
    {"public.avif", "public.image", "image/avif", "avif"},
    {"org.webmproject.webp", "public.image", "image/webp", "webp"},
    {"public.svg-image", "public.image public.xml", "image/svg+xml", "svg svgz"},

    {"public.audiovisual-content", "public.data public.content", "", ""},
    {"public.movie", "public.audiovisual-content", "", ""},
    {"public.video", "public.movie", "", ""},
    {"public.audio", "public.audiovisual-content", "", ""},
    {"com.apple.quicktime-movie", "public.movie", "video/quicktime", "mov qt"},
    {"public.mpeg-4", "public.movie", "video/mp4 video/mp4v", "mp4 mpeg4"},
    {"com.apple.m4v-video", "public.movie", "video/x-m4v", "m4v"},
    {"public.mpeg", "public.movie", "video/mpeg", "mpeg mpg"},
    {"public.avi", "public.movie", "video/avi video/x-msvideo video/msvideo", "avi"},
    {"org.webmproject.webm", "public.movie", "video/webm", "webm"},
    {"org.matroska.mkv", "public.movie", "video/x-matroska", "mkv"},
    {"public.3gpp", "public.movie", "video/3gpp audio/3gpp", "3gp 3gpp"},
    {"public.mp3", "public.audio", "audio/mpeg audio/mp3 audio/mpeg3 audio/x-mp3", "mp3"},
    {"com.apple.m4a-audio", "public.audio", "audio/mp4 audio/x-m4a audio/m4a", "m4a"},
    {"public.aac-audio", "public.audio", "audio/aac audio/x-aac", "aac"},
    {"org.xiph.ogg-audio", "public.audio", "audio/ogg", "ogg oga"},
    {"org.xiph.opus", "public.audio", "audio/opus", "opus"},
    {"org.xiph.flac", "public.audio", "audio/flac audio/x-flac", "flac"},
    {"com.microsoft.waveform-audio", "public.audio", "audio/wav audio/x-wav audio/wave audio/vnd.wave", "wav wave"},
    {"public.aiff-audio", "public.audio", "audio/aiff audio/x-aiff", "aiff aif"},

    {"public.text", "public.data public.content", "", ""},
    {"public.plain-text", "public.text", "text/plain", "txt text"},
    {"public.html", "public.text", "text/html", "html htm"},
    {"public.xml", "public.text", "application/xml text/xml", "xml"},
    {"public.json", "public.text", "application/json", "json"},
    {"com.netscape.javascript-source", "public.text", "text/javascript application/javascript", "js"},
    {"public.comma-separated-values-text", "public.text", "text/csv text/comma-separated-values", "csv"},
    {"public.rtf", "public.text", "text/rtf application/rtf", "rtf"},
    {"public.vcard", "public.text", "text/vcard text/x-vcard text/directory", "vcf vcard"},

    {"com.adobe.pdf", "public.data public.composite-content", "application/pdf", "pdf"},
    {"public.zip-archive", "public.archive", "application/zip application/x-zip-compressed", "zip"},
    {"org.gnu.gnu-zip-archive", "public.archive", "application/gzip application/x-gzip", "gz gzip"},
    {"com.microsoft.word.doc", "public.data public.composite-content", "application/msword", "doc"},
    {"org.openxmlformats.wordprocessingml.document", "public.data public.composite-content",
     "application/vnd.openxmlformats-officedocument.wordprocessingml.document", "docx"},
    {"com.microsoft.excel.xls", "public.data public.composite-content", "application/vnd.ms-excel", "xls"},
    {"org.openxmlformats.spreadsheetml.sheet", "public.data public.composite-content",
     "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", "xlsx"},
    {"com.microsoft.powerpoint.ppt", "public.data public.composite-content", "application/vnd.ms-powerpoint", "ppt"},
    {"org.openxmlformats.presentationml.presentation", "public.data public.composite-content",
     "application/vnd.openxmlformats-officedocument.presentationml.presentation", "pptx"},
};

constexpr std::string_view kDynamicMIMEPrefix = "dyn.mime.";
constexpr std::string_view kDynamicExtensionPrefix = "dyn.ext.";

std::vector<std::string_view> splitWords(std::string_view text) {
    std::vector<std::string_view> words;
    while (!text.empty()) {
        const size_t space = text.find(' ');
        if (space != 0) words.push_back(text.substr(0, space));
        if (space == std::string_view::npos) break;
        text.remove_prefix(space + 1);
    }
    return words;
}

struct Table {
    struct Lists {
        std::vector<std::string_view> parents, mimeTypes, extensions;
    };
    std::vector<Lists> lists;
    std::vector<FileType::Entry> entries;

    Table() {
        lists.reserve(std::size(kRows));
        for (const Row& row : kRows)
            lists.push_back({splitWords(row.parents), splitWords(row.mimeTypes), splitWords(row.extensions)});
        for (size_t i = 0; i < std::size(kRows); ++i)
            entries.push_back({kRows[i].uti, lists[i].parents, lists[i].mimeTypes, lists[i].extensions});
    }
};

const Table& table() {
    static const Table* instance = new Table;  // never destroyed
    return *instance;
}

std::string lowered(std::string_view text) { return asciiLowercased(text); }

const FileType::Entry* entryForUTI(std::string_view uti) {
    for (const auto& entry : table().entries)
        if (equalsIgnoringCase(entry.uti, uti)) return &entry;
    return nullptr;
}

bool isTokenChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || std::string_view("!#$&^_.+-").find(c) != std::string_view::npos;
}

// "Type/Subtype; parameters" -> "type/subtype", or none when it is not a MIME type.
std::optional<std::string> normalizedMIMEType(std::string_view mimeType) {
    if (const size_t semicolon = mimeType.find(';'); semicolon != std::string_view::npos)
        mimeType = mimeType.substr(0, semicolon);
    while (!mimeType.empty() && (mimeType.front() == ' ' || mimeType.front() == '\t')) mimeType.remove_prefix(1);
    while (!mimeType.empty() && (mimeType.back() == ' ' || mimeType.back() == '\t')) mimeType.remove_suffix(1);
    std::string mime = lowered(mimeType);
    const size_t slash = mime.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == mime.size() || mime.size() > 255) return std::nullopt;
    for (size_t i = 0; i < mime.size(); ++i)
        if (i != slash && !isTokenChar(mime[i])) return std::nullopt;
    // The top-level type holds no dot, so "dyn.mime.<type>.<subtype>" reads back unambiguously.
    if (mime.find('.') < slash) return std::nullopt;
    return mime;
}

std::optional<std::string> normalizedExtension(std::string_view extension) {
    if (extension.empty() || extension.size() > 255) return std::nullopt;
    if (extension.find('/') != std::string_view::npos || extension.find('\0') != std::string_view::npos)
        return std::nullopt;
    return lowered(extension);
}

const FileType::Entry* entryForMIMEType(std::string_view normalizedMime) {
    for (const auto& entry : table().entries)
        for (auto mime : entry.mimeTypes)
            if (mime == normalizedMime) return &entry;
    return nullptr;
}

// shared-mime-info's MIME type for a file name with this extension, or none.
std::optional<std::string> mimeTypeFromSystem(const std::string& extension) {
    const std::string fileName = "file." + extension;
    gboolean uncertain = FALSE;
    gchar* contentType = g_content_type_guess(fileName.c_str(), nullptr, 0, &uncertain);
    if (!contentType) return std::nullopt;
    gchar* mime = g_content_type_get_mime_type(contentType);
    g_free(contentType);
    if (!mime) return std::nullopt;
    std::string result(mime);
    g_free(mime);
    if (result == "application/octet-stream") return std::nullopt;
    return normalizedMIMEType(result);
}

std::string dynamicIdentifierForMIMEType(const std::string& mime) {
    std::string id(kDynamicMIMEPrefix);
    id += mime;
    id[kDynamicMIMEPrefix.size() + mime.find('/')] = '.';
    return id;
}

std::string dynamicIdentifierForExtension(const std::string& extension) {
    std::string id(kDynamicExtensionPrefix);
    for (unsigned char c : extension) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-') {
            id += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "_%02x", c);
            id += escaped;
        }
    }
    return id;
}

// The MIME type a "dyn.mime." identifier carries.
std::optional<std::string> mimeTypeOfDynamicIdentifier(std::string_view uti) {
    std::string id = lowered(uti);
    if (!id.starts_with(kDynamicMIMEPrefix)) return std::nullopt;
    std::string mime = id.substr(kDynamicMIMEPrefix.size());
    const size_t dot = mime.find('.');
    if (dot == std::string::npos) return std::nullopt;
    mime[dot] = '/';
    return normalizedMIMEType(mime);
}

// Every identifier `uti` conforms to, itself included.
std::set<std::string> ancestors(std::string_view uti) {
    std::set<std::string> seen{lowered(uti)};
    std::vector<std::string> pending{lowered(uti)};
    if (lowered(uti).starts_with("dyn.")) {
        pending.push_back("public.data");
        if (auto mime = mimeTypeOfDynamicIdentifier(uti)) {
            const std::string topLevel = mime->substr(0, mime->find('/'));
            if (topLevel == "image") pending.push_back("public.image");
            if (topLevel == "video") pending.push_back("public.movie");
            if (topLevel == "audio") pending.push_back("public.audio");
            if (topLevel == "text") pending.push_back("public.text");
        }
        seen.insert(pending.begin() + 1, pending.end());
    }
    while (!pending.empty()) {
        const std::string current = pending.back();
        pending.pop_back();
        if (const auto* entry = entryForUTI(current))
            for (auto parent : entry->parents)
                if (seen.insert(std::string(parent)).second) pending.emplace_back(parent);
    }
    return seen;
}

}  // namespace

std::span<const FileType::Entry> FileType::table() { return platform::table().entries; }

std::optional<std::string> FileType::utiForExtension(std::string_view extension) {
    auto ext = normalizedExtension(extension);
    if (!ext) return std::nullopt;
    for (const auto& entry : platform::table().entries)
        for (auto candidate : entry.extensions)
            if (candidate == *ext) return std::string(entry.uti);
    if (auto mime = mimeTypeFromSystem(*ext)) {
        if (const auto* entry = entryForMIMEType(*mime)) return std::string(entry->uti);
        return dynamicIdentifierForMIMEType(*mime);
    }
    return dynamicIdentifierForExtension(*ext);
}

std::optional<std::string> FileType::utiForMIMEType(std::string_view mimeType) {
    auto mime = normalizedMIMEType(mimeType);
    if (!mime) return std::nullopt;
    if (const auto* entry = entryForMIMEType(*mime)) return std::string(entry->uti);
    return dynamicIdentifierForMIMEType(*mime);
}

std::optional<std::string> FileType::preferredMIMEType(std::string_view uti) {
    if (const auto* entry = entryForUTI(uti)) {
        if (entry->mimeTypes.empty()) return std::nullopt;
        return std::string(entry->mimeTypes.front());
    }
    return mimeTypeOfDynamicIdentifier(uti);
}

std::optional<std::string> FileType::preferredExtension(std::string_view uti) {
    if (const auto* entry = entryForUTI(uti); entry && !entry->extensions.empty())
        return std::string(entry->extensions.front());
    return std::nullopt;
}

bool FileType::conformsTo(std::string_view uti, std::string_view parent) {
    if (uti.empty() || parent.empty()) return false;
    return ancestors(uti).contains(lowered(parent));
}

}  // namespace platform
