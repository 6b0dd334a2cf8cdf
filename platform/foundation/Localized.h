#pragma once

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class Bundle;

// A strings table: Apple's .strings text format ("KEY" = "value"; with /* */ and // comments,
// escapes \n \t \" \\ \UXXXX; UTF-8 or UTF-16 with a byte-order mark), or a property list whose
// root is a dictionary of strings. Bad syntax ends the table at that point: entries before it
// stay usable.
class StringsTable {
public:
    static StringsTable parse(std::string_view bytes);
    // An empty table when the file is missing or unreadable.
    static StringsTable load(const std::string& path);

    std::optional<std::string> lookup(std::string_view key) const;
    std::size_t size() const { return entries_.size(); }
    // False when parsing stopped at an error.
    bool complete() const { return complete_; }

private:
    std::map<std::string, std::string, std::less<>> entries_;
    bool complete_ = true;
};

// The text for `key` from the main bundle's default table ("Localizable.strings" in the
// language folder of the user's locale, else en.lproj), or the English default.
std::string localized(const std::string& key, const std::string& englishDefault);
// For texts whose English wording is only the translators' comment: a missing key shows as
// the key itself.
std::string localizedComment(const std::string& key, const std::string& comment);

// Fills the placeholders of a (localized) format: each "%@" takes the next value in turn, and
// "%N$@" the Nth value, as translations may reorder them. A placeholder without a value stays as
// it is; values are put in as they are, never read as formats themselves.
std::string localizedFormat(std::string_view format, std::initializer_list<std::string_view> values);

// The same lookup in the default table of a given bundle (tests, fixtures).
std::string localized(const Bundle& bundle, const std::string& key, const std::string& englishDefault);

}  // namespace platform
