#include "helpviewer/chm/Html.h"

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
