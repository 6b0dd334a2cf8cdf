#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace platform {

// Our stand-in for the Mac's uniform type identifier database: a fixed table of the types the
// program meets (web images, video and audio, documents) with their MIME types, file-name
// extensions and parent types, so every answer is the same on every machine. For an extension
// or MIME type the table lacks, shared-mime-info (through GIO) is asked for the MIME type, and
// the answer is a dynamic identifier:
//   "dyn.mime.<type>.<subtype>"  a MIME type outside the table; its MIME type can be read back
//                                and it conforms to public.image, public.movie, public.audio or
//                                public.text after its top-level type;
//   "dyn.ext.<extension>"        an extension nobody knows; it has no tags of its own.
// Both conform to public.data and public.item. Lookups ignore ASCII case; MIME parameters
// ("; codecs=...") are ignored.
class FileType {
public:
    struct Entry {
        std::string_view uti;
        std::span<const std::string_view> parents;     // direct parents
        std::span<const std::string_view> mimeTypes;   // preferred first
        std::span<const std::string_view> extensions;  // preferred first, without a dot
    };

    // The whole table (tests and documentation read it).
    static std::span<const Entry> table();

    // The preferred identifier for an extension / MIME type: a table entry or a dynamic
    // identifier; none only for an empty or malformed tag.
    static std::optional<std::string> utiForExtension(std::string_view extension);
    static std::optional<std::string> utiForMIMEType(std::string_view mimeType);
    // The preferred tag of an identifier; none when it has none (public.data, dyn.ext.*, any
    // identifier outside the table).
    static std::optional<std::string> preferredMIMEType(std::string_view uti);
    static std::optional<std::string> preferredExtension(std::string_view uti);
    // Whether `uti` is `parent` or lies below it in the hierarchy.
    static bool conformsTo(std::string_view uti, std::string_view parent);
};

}  // namespace platform
