#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tovak {

// One kind of file by three matching names: its uniform type identifier, MIME type and
// file-name extension. Made from any one of them (or a file path); the given name is kept
// unchanged and the other two are derived. Nothing fails: what the type table cannot name
// becomes "public.data", "application/octet-stream" and "bin". The table is
// platform::FileType (a fixed table, shared-mime-info for extensions it lacks).
class WQFileType {
public:
    static constexpr std::string_view kClassName = "WQFileType";

    static WQFileType fromUTI(std::string_view uti);
    static WQFileType fromMIMEType(std::string_view mimeType);
    static WQFileType fromFileExtension(std::string_view fileExtension);
    // The path's extension (after the last dot of the file name; "" when there is none).
    static WQFileType fromURL(const std::filesystem::path& fileURL);

    const std::string& UTI() const { return uti_; }
    const std::string& MIMEType() const { return mimeType_; }
    const std::string& FileExtension() const { return fileExtension_; }

    // Whether UTI() is `uti` or lies below it ("public.jpeg" conforms to "public.image").
    bool conformsTo(std::string_view uti) const;
    bool isMovie() const { return conformsTo("public.movie"); }
    bool isImage() const { return conformsTo("public.image"); }

    static std::string MIMETypeFromUTI(std::string_view uti);                    // or "application/octet-stream"
    static std::string MIMETypeFromFileExtension(std::string_view fileExtension);  // or "application/octet-stream"
    static std::string UTIFromFileExtension(std::string_view fileExtension);       // or "public.data"
    static std::string UTIFromMIMEType(std::string_view mimeType);                 // or "public.data"
    static std::string FileExtensionFromUTI(std::string_view uti);                 // or "bin"

private:
    WQFileType(std::string uti, std::string mimeType, std::string fileExtension);

    std::string uti_;
    std::string mimeType_;
    std::string fileExtension_;
};

}  // namespace tovak
