// A small, forgiving scanner for the HTML found in compiled help files: the
// sitemaps (.hhc contents, .hhk index) and the topics. It never fails: text it
// does not understand is passed through as text, and every read is bounded
// by the input.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace chm {

struct HtmlTag {
    std::string name; // lower case, without "/"
    bool closing = false;
    std::vector<std::pair<std::string, std::string>> attributes; // names lower case, values decoded

    // The value of an attribute (name in lower case), or empty when absent.
    const std::string& attribute(std::string_view lowerName) const;
    bool hasAttribute(std::string_view lowerName) const;
};

class HtmlScanner {
public:
    explicit HtmlScanner(std::string_view html) : html_(html) {}

    enum class Token { Text, Tag, End };
    // The next piece of the input: a run of text (raw, entities not decoded)
    // or a tag. Comments, declarations and processing instructions are skipped.
    Token next();
    std::string_view text() const { return text_; }
    const HtmlTag& tag() const { return tag_; }

    // Skips everything up to and including the closing tag of `lowerName`
    // (for script and style, whose content is not markup).
    void skipElement(std::string_view lowerName);

private:
    void parseTag(std::string_view inner);

    std::string_view html_;
    size_t pos_ = 0;
    std::string_view text_;
    HtmlTag tag_;
};

// Appends a code point as UTF-8.
void appendUtf8(std::string& out, uint32_t cp);

// Replaces character references (&amp; &lt; &#65; &#x41; ...) by their
// characters; numeric references above 0x7F become UTF-8, unknown ones stay.
std::string decodeEntities(std::string_view text);

// Collapses runs of white space to one blank and trims the ends.
std::string collapseSpace(std::string_view text);

// The readable text of a topic: markup removed, entities decoded, script and
// style dropped, block elements separated by blanks.
std::string htmlToText(std::string_view html);

// The text of the topic's <title>, or empty.
std::string htmlTitle(std::string_view html);

std::string toLowerAscii(std::string_view text);
bool equalsNoCase(std::string_view a, std::string_view b);

} // namespace chm
