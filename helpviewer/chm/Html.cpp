#include "helpviewer/chm/Html.h"

#include <algorithm>
#include <cstdint>

namespace chm {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == ':' || c == '.';
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

struct NamedEntity {
    std::string_view name;
    uint32_t cp;
};
constexpr NamedEntity kEntities[] = {
    {"amp", '&'},     {"lt", '<'},      {"gt", '>'},      {"quot", '"'},    {"apos", '\''},
    {"nbsp", 0xA0},   {"copy", 0xA9},   {"reg", 0xAE},    {"trade", 0x2122}, {"mdash", 0x2014},
    {"ndash", 0x2013}, {"hellip", 0x2026}, {"laquo", 0xAB}, {"raquo", 0xBB},  {"deg", 0xB0},
    {"micro", 0xB5},  {"middot", 0xB7}, {"times", 0xD7},  {"rarr", 0x2192}, {"larr", 0x2190},
    {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"ldquo", 0x201C}, {"rdquo", 0x201D}, {"bull", 0x2022},
};

bool isBlockElement(std::string_view name)
{
    static constexpr std::string_view blocks[] = {"p",  "br", "div", "li", "tr", "td", "th", "h1", "h2",  "h3",
                                                  "h4", "h5", "h6",  "ul", "ol", "dl", "dt", "dd", "pre", "table",
                                                  "hr", "blockquote", "title", "body", "head"};
    for (auto b : blocks)
        if (name == b)
            return true;
    return false;
}

} // namespace

void appendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string toLowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = lowerAscii(c);
    return out;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    return true;
}

const std::string& HtmlTag::attribute(std::string_view lowerName) const
{
    static const std::string none;
    for (const auto& [n, v] : attributes)
        if (n == lowerName)
            return v;
    return none;
}

bool HtmlTag::hasAttribute(std::string_view lowerName) const
{
    for (const auto& a : attributes)
        if (a.first == lowerName)
            return true;
    return false;
}

HtmlScanner::Token HtmlScanner::next()
{
    while (pos_ < html_.size()) {
        if (html_[pos_] != '<') {
            size_t end = html_.find('<', pos_);
            if (end == std::string_view::npos)
                end = html_.size();
            text_ = html_.substr(pos_, end - pos_);
            pos_ = end;
            return Token::Text;
        }
        // A '<' not followed by a name, '/', or '!' is plain text.
        if (pos_ + 1 >= html_.size()) {
            text_ = html_.substr(pos_);
            pos_ = html_.size();
            return Token::Text;
        }
        const char c = html_[pos_ + 1];
        if (html_.substr(pos_, 4) == "<!--") {
            size_t end = html_.find("-->", pos_ + 4);
            pos_ = end == std::string_view::npos ? html_.size() : end + 3;
            continue;
        }
        if (c == '!' || c == '?') {
            size_t end = html_.find('>', pos_);
            pos_ = end == std::string_view::npos ? html_.size() : end + 1;
            continue;
        }
        if (c != '/' && !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
            text_ = html_.substr(pos_, 1);
            ++pos_;
            return Token::Text;
        }
        // Find the end of the tag, stepping over quoted attribute values.
        size_t i = pos_ + 1;
        char quote = 0;
        for (; i < html_.size(); ++i) {
            const char ch = html_[i];
            if (quote) {
                if (ch == quote)
                    quote = 0;
            } else if (ch == '"' || ch == '\'') {
                quote = ch;
            } else if (ch == '>') {
                break;
            }
        }
        std::string_view inner = html_.substr(pos_ + 1, i - pos_ - 1);
        pos_ = i < html_.size() ? i + 1 : html_.size();
        parseTag(inner);
        return Token::Tag;
    }
    text_ = {};
    return Token::End;
}

void HtmlScanner::parseTag(std::string_view inner)
{
    // Cleared, not replaced: a sitemap has tens of thousands of tags, and
    // the attribute list keeps its room from one to the next.
    tag_.name.clear();
    tag_.closing = false;
    tag_.attributes.clear();
    size_t i = 0;
    if (i < inner.size() && inner[i] == '/') {
        tag_.closing = true;
        ++i;
    }
    const size_t nameStart = i;
    while (i < inner.size() && isNameChar(inner[i]))
        ++i;
    tag_.name.assign(inner.substr(nameStart, i - nameStart));
    for (char& c : tag_.name)
        c = lowerAscii(c);
    while (i < inner.size()) {
        while (i < inner.size() && (isSpace(inner[i]) || inner[i] == '/'))
            ++i;
        const size_t attrStart = i;
        while (i < inner.size() && !isSpace(inner[i]) && inner[i] != '=' && inner[i] != '/')
            ++i;
        if (i == attrStart) {
            if (i < inner.size())
                ++i; // a stray character; step over it
            continue;
        }
        std::string name = toLowerAscii(inner.substr(attrStart, i - attrStart));
        while (i < inner.size() && isSpace(inner[i]))
            ++i;
        std::string value;
        if (i < inner.size() && inner[i] == '=') {
            ++i;
            while (i < inner.size() && isSpace(inner[i]))
                ++i;
            if (i < inner.size() && (inner[i] == '"' || inner[i] == '\'')) {
                const char q = inner[i++];
                const size_t end = inner.find(q, i);
                const size_t stop = end == std::string_view::npos ? inner.size() : end;
                value = decodeEntities(inner.substr(i, stop - i));
                i = end == std::string_view::npos ? inner.size() : end + 1;
            } else {
                const size_t vs = i;
                while (i < inner.size() && !isSpace(inner[i]))
                    ++i;
                value = decodeEntities(inner.substr(vs, i - vs));
            }
        }
        tag_.attributes.emplace_back(std::move(name), std::move(value));
    }
}

void HtmlScanner::skipElement(std::string_view lowerName)
{
    while (pos_ < html_.size()) {
        size_t lt = html_.find("</", pos_);
        if (lt == std::string_view::npos) {
            pos_ = html_.size();
            return;
        }
        pos_ = lt;
        if (equalsNoCase(html_.substr(lt + 2, lowerName.size()), lowerName)) {
            size_t gt = html_.find('>', lt);
            pos_ = gt == std::string_view::npos ? html_.size() : gt + 1;
            return;
        }
        pos_ = lt + 2;
    }
}

std::string decodeEntities(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '&') {
            out += text[i++];
            continue;
        }
        // References are short; looking further would make a text full of
        // stray '&' quadratic.
        const size_t near = text.substr(i + 1, 12).find(';');
        const size_t semi = near == std::string_view::npos ? near : i + 1 + near;
        if (semi == std::string_view::npos) {
            out += text[i++];
            continue;
        }
        std::string_view ref = text.substr(i + 1, semi - i - 1);
        bool done = false;
        if (!ref.empty() && ref[0] == '#') {
            uint32_t cp = 0;
            bool hex = ref.size() > 1 && (ref[1] == 'x' || ref[1] == 'X');
            std::string_view digits = ref.substr(hex ? 2 : 1);
            bool ok = !digits.empty();
            for (char d : digits) {
                uint32_t v;
                if (d >= '0' && d <= '9')
                    v = static_cast<uint32_t>(d - '0');
                else if (hex && d >= 'a' && d <= 'f')
                    v = static_cast<uint32_t>(d - 'a' + 10);
                else if (hex && d >= 'A' && d <= 'F')
                    v = static_cast<uint32_t>(d - 'A' + 10);
                else {
                    ok = false;
                    break;
                }
                cp = cp * (hex ? 16u : 10u) + v;
                if (cp > 0x10FFFF) {
                    ok = false;
                    break;
                }
            }
            if (ok && cp != 0) {
                appendUtf8(out, cp);
                done = true;
            }
        } else {
            for (const auto& e : kEntities) {
                if (ref == e.name) {
                    appendUtf8(out, e.cp);
                    done = true;
                    break;
                }
            }
        }
        if (done) {
            i = semi + 1;
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::string collapseSpace(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    bool pendingSpace = false;
    for (char c : text) {
        if (isSpace(c)) {
            pendingSpace = !out.empty();
        } else {
            if (pendingSpace)
                out += ' ';
            pendingSpace = false;
            out += c;
        }
    }
    return out;
}

std::string htmlToText(std::string_view html)
{
    std::string out;
    HtmlScanner scanner(html);
    for (auto t = scanner.next(); t != HtmlScanner::Token::End; t = scanner.next()) {
        if (t == HtmlScanner::Token::Text) {
            out += decodeEntities(scanner.text());
        } else {
            const auto& tag = scanner.tag();
            if (!tag.closing && (tag.name == "script" || tag.name == "style")) {
                scanner.skipElement(tag.name);
            } else if (isBlockElement(tag.name)) {
                out += ' ';
            }
        }
    }
    return collapseSpace(out);
}

std::string htmlTitle(std::string_view html)
{
    HtmlScanner scanner(html);
    bool inTitle = false;
    std::string title;
    for (auto t = scanner.next(); t != HtmlScanner::Token::End; t = scanner.next()) {
        if (t == HtmlScanner::Token::Tag) {
            if (scanner.tag().name == "title") {
                if (scanner.tag().closing)
                    break;
                inTitle = true;
            } else if (scanner.tag().name == "body") {
                break;
            }
        } else if (inTitle) {
            title += decodeEntities(scanner.text());
        }
    }
    return collapseSpace(title);
}

} // namespace chm

namespace chm {

namespace {

enum class Space { Inherit, Normal, NoWrap, Pre };

Space spaceValue(std::string_view declarations)
{
    const std::string d = toLowerAscii(declarations);
    const auto at = d.rfind("white-space");
    if (at == std::string::npos)
        return Space::Inherit;
    const auto colon = d.find(':', at);
    if (colon == std::string::npos)
        return Space::Inherit;
    const std::string value = collapseSpace(d.substr(colon + 1, d.find(';', colon) - colon - 1));
    if (value.rfind("nowrap", 0) == 0)
        return Space::NoWrap;
    if (value.rfind("pre", 0) == 0)
        return value.rfind("pre-line", 0) == 0 ? Space::NoWrap : Space::Pre;
    return Space::Normal;
}

// White-space rules of a style sheet, by simple selector.
struct SpaceRules {
    std::vector<std::pair<std::string, Space>> rules; // "tag", ".class" or "tag.class", lower case

    void add(std::string_view css)
    {
        std::string text(css);
        for (size_t open = text.find("/*"); open != std::string::npos; open = text.find("/*", open)) {
            const size_t close = text.find("*/", open + 2);
            text.erase(open, close == std::string::npos ? std::string::npos : close + 2 - open);
        }
        size_t pos = 0;
        while (pos < text.size()) {
            const size_t brace = text.find('{', pos);
            if (brace == std::string::npos)
                break;
            const size_t end = text.find('}', brace);
            const Space space = spaceValue(std::string_view(text).substr(brace + 1, end - brace - 1));
            if (space != Space::Inherit) {
                std::string_view selectors = std::string_view(text).substr(pos, brace - pos);
                size_t start = 0;
                while (start <= selectors.size()) {
                    size_t comma = selectors.find(',', start);
                    if (comma == std::string_view::npos)
                        comma = selectors.size();
                    const std::string one = toLowerAscii(collapseSpace(selectors.substr(start, comma - start)));
                    if (!one.empty() && one.find_first_of(" >+~:[#*") == std::string::npos)
                        rules.emplace_back(one, space);
                    start = comma + 1;
                }
            }
            pos = end == std::string::npos ? text.size() : end + 1;
        }
    }

    Space of(const HtmlTag& tag) const
    {
        Space out = Space::Inherit;
        std::vector<std::string> classes;
        {
            const std::string all = toLowerAscii(tag.attribute("class"));
            size_t start = 0;
            while (start < all.size()) {
                size_t end = all.find(' ', start);
                if (end == std::string::npos)
                    end = all.size();
                if (end > start)
                    classes.push_back(all.substr(start, end - start));
                start = end + 1;
            }
        }
        for (const auto& [selector, space] : rules) {
            const auto dot = selector.find('.');
            const std::string_view name = std::string_view(selector).substr(0, dot);
            const bool nameMatches = name.empty() || name == tag.name;
            const bool classMatches =
                dot == std::string::npos ||
                std::find(classes.begin(), classes.end(), selector.substr(dot + 1)) != classes.end();
            if (nameMatches && classMatches)
                out = space; // later rules win
        }
        if (const Space inline_ = spaceValue(tag.attribute("style")); inline_ != Space::Inherit)
            out = inline_;
        return out;
    }
};

bool isVoidElement(std::string_view name)
{
    static constexpr std::string_view kVoid[] = {"area", "base", "br",   "col",   "embed", "hr",    "img",
                                                 "input", "link", "meta", "param", "source", "track", "wbr"};
    return std::find(std::begin(kVoid), std::end(kVoid), name) != std::end(kVoid);
}

// The text of an unbreakable run: blanks as no-break spaces; in "pre"
// every blank kept and line breaks as <br>, elsewhere runs of blanks as one.
std::string unbreakable(std::string_view text, Space space)
{
    std::string out;
    bool blank = false;
    for (char c : text) {
        const bool isBlank = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
        if (!isBlank) {
            out += c;
            blank = false;
        } else if (space == Space::Pre) {
            if (c == '\n')
                out += "<br>";
            else if (c == '\t')
                out += "&nbsp;&nbsp;&nbsp;&nbsp;";
            else if (c != '\r')
                out += "&nbsp;";
        } else if (!blank) {
            out += "&nbsp;";
            blank = true;
        }
    }
    return out;
}

} // namespace

std::string keepUnbroken(std::string_view html, const std::function<std::string(std::string_view href)>& styleSheet)
{
    SpaceRules rules;
    // The rules first: they may come after the text they apply to.
    {
        HtmlScanner scanner(html);
        bool inStyle = false;
        for (auto t = scanner.next(); t != HtmlScanner::Token::End; t = scanner.next()) {
            if (t == HtmlScanner::Token::Text) {
                if (inStyle)
                    rules.add(scanner.text());
                continue;
            }
            const HtmlTag& tag = scanner.tag();
            if (tag.name == "style")
                inStyle = !tag.closing;
            else if (tag.name == "link" && toLowerAscii(tag.attribute("rel")).find("stylesheet") != std::string::npos &&
                     styleSheet)
                rules.add(styleSheet(tag.attribute("href")));
            else if (tag.name == "script" && !tag.closing)
                scanner.skipElement("script");
        }
    }
    if (rules.rules.empty() && toLowerAscii(html).find("white-space") == std::string::npos)
        return std::string(html);

    std::string out;
    out.reserve(html.size() + html.size() / 8);
    size_t copied = 0;
    std::vector<std::pair<std::string, Space>> open; // elements open, with their own white-space
    HtmlScanner scanner(html);
    for (auto t = scanner.next(); t != HtmlScanner::Token::End; t = scanner.next()) {
        if (t == HtmlScanner::Token::Tag) {
            const HtmlTag& tag = scanner.tag();
            if (tag.name == "script" || tag.name == "style") {
                if (!tag.closing)
                    scanner.skipElement(tag.name);
            } else if (!tag.closing && !isVoidElement(tag.name)) {
                open.emplace_back(tag.name, rules.of(tag));
            } else if (tag.closing) {
                // Close up to the matching element; a stray closing tag closes nothing.
                for (size_t i = open.size(); i > 0; --i) {
                    if (open[i - 1].first == tag.name) {
                        open.resize(i - 1);
                        break;
                    }
                }
            }
            continue;
        }
        Space space = Space::Normal;
        for (size_t i = open.size(); i > 0; --i) {
            if (open[i - 1].second != Space::Inherit) {
                space = open[i - 1].second;
                break;
            }
        }
        if (space != Space::NoWrap && space != Space::Pre)
            continue;
        const auto start = static_cast<size_t>(scanner.text().data() - html.data());
        out.append(html.substr(copied, start - copied));
        out += unbreakable(scanner.text(), space);
        copied = start + scanner.text().size();
    }
    out.append(html.substr(copied));
    return out;
}

} // namespace chm
