#include "helpviewer/chm/Encoding.h"

#include "helpviewer/chm/Html.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <array>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>

namespace chm {

namespace {

constexpr uint32_t kReplacement = 0xFFFD;
constexpr std::string_view kUtf8 = "UTF-8";

// Reads one code point of UTF-8 at `i` and steps past it; a malformed
// sequence reads as U+FFFD and consumes one byte.
uint32_t nextCodePoint(std::string_view s, size_t& i)
{
    const auto b0 = static_cast<uint8_t>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    const size_t length = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC2 ? 2 : 0;
    if (length == 0 || length > s.size() - i) {
        ++i;
        return kReplacement;
    }
    uint32_t cp = b0 & (0x7Fu >> length);
    for (size_t k = 1; k < length; ++k) {
        const auto b = static_cast<uint8_t>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (b & 0x3Fu);
    }
    // Overlong forms, surrogates and values past Unicode are not characters.
    static constexpr uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) {
        ++i;
        return kReplacement;
    }
    i += length;
    return cp;
}

std::string validUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();)
        appendUtf8(out, nextCodePoint(bytes, i));
    return out;
}

// Single-byte code pages are decoded through a table made once from iconv;
// the others go through iconv every time.
struct Codec {
    bool singleByte = false;
    std::array<uint32_t, 256> table{};
};

std::string throughIconv(std::string_view bytes, const Encoding& encoding)
{
    iconv_t cd = iconv_open("UTF-8", encoding.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    std::string out;
    out.reserve(bytes.size() * 2);
    char buffer[4096];
    auto* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* o = buffer;
        size_t oLeft = sizeof buffer;
        const size_t rc = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buffer, static_cast<size_t>(o - buffer));
        if (rc != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG)
            continue;
        // An invalid or cut-off sequence: one replacement, then go on.
        appendUtf8(out, kReplacement);
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

bool isSingleByte(const Encoding& encoding)
{
    return (encoding.size() == 6 && encoding.rfind("CP125", 0) == 0) || encoding == "CP874" ||
           encoding.rfind("ISO-8859-", 0) == 0 || encoding.rfind("KOI8-", 0) == 0;
}

std::shared_ptr<const Codec> codecFor(const Encoding& encoding)
{
    static std::mutex mutex;
    static std::map<Encoding, std::shared_ptr<const Codec>> codecs;
    const std::lock_guard lock(mutex);
    auto& slot = codecs[encoding];
    if (slot)
        return slot;
    auto codec = std::make_shared<Codec>();
    codec->singleByte = isSingleByte(encoding);
    for (unsigned b = 0; b < 256 && codec->singleByte; ++b) {
        const char byte = static_cast<char>(b);
        const std::string one = throughIconv(std::string_view(&byte, 1), encoding);
        size_t i = 0;
        codec->table[b] = one.empty() ? kReplacement : nextCodePoint(one, i);
    }
    slot = std::move(codec);
    return slot;
}

bool isKnownToIconv(const std::string& name)
{
    iconv_t cd = iconv_open("UTF-8", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv_close(cd);
    return true;
}

locale_t unicodeLocale()
{
    static const locale_t locale = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        return l ? l : newlocale(LC_CTYPE_MASK, "C.utf8", static_cast<locale_t>(nullptr));
    }();
    return locale;
}

uint32_t lower(uint32_t cp)
{
    if (cp < 0x80)
        return cp >= 'A' && cp <= 'Z' ? cp + 0x20 : cp;
    if (locale_t l = unicodeLocale())
        return static_cast<uint32_t>(towlower_l(static_cast<wint_t>(cp), l));
    // Without the Unicode locale: Latin-1 at least.
    return (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) ? cp + 0x20 : cp;
}

bool isWordCodePoint(uint32_t cp)
{
    if (cp < 0x80)
        return (cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z') || (cp >= '0' && cp <= '9');
    if (cp == kReplacement || cp == 0xA0)
        return false;
    if (cp >= 0x300 && cp < 0x370)
        return true; // combining marks belong to the letter before them
    if (locale_t l = unicodeLocale())
        return iswalnum_l(static_cast<wint_t>(cp), l) != 0;
    return cp >= 0xC0 && cp != 0xD7 && cp != 0xF7;
}

std::string lowerAsciiTrimmed(std::string_view s)
{
    const auto first = s.find_first_not_of(" \t\r\n\"'");
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(" \t\r\n\"'");
    return toLowerAscii(s.substr(first, last - first + 1));
}

} // namespace

uint32_t codePageForLcid(uint32_t lcid)
{
    const uint32_t primary = lcid & 0x3FF;
    const uint32_t sub = (lcid >> 10) & 0x3F;
    switch (primary) {
    case 0x05: case 0x0E: case 0x15: case 0x18: case 0x1B: case 0x1C: case 0x24:
        return 1250; // Czech, Hungarian, Polish, Romanian, Slovak, Albanian, Slovenian
    case 0x1A: // Croatian and Serbian: Latin script, except Serbian and Bosnian in Cyrillic
        return (lcid == 0x0C1A || lcid == 0x1C1A || lcid == 0x201A) ? 1251 : 1250;
    case 0x02: case 0x19: case 0x22: case 0x23: case 0x2F: case 0x3F: case 0x40: case 0x44: case 0x50:
        return 1251; // Bulgarian, Russian, Ukrainian, Belarusian, Macedonian, Kazakh, Kyrgyz, Tatar, Mongolian
    case 0x08:
        return 1253; // Greek
    case 0x1F:
        return 1254; // Turkish
    case 0x2C: case 0x43: // Azeri and Uzbek: Latin script, or Cyrillic
        return sub == 2 ? 1251 : 1254;
    case 0x0D:
        return 1255; // Hebrew
    case 0x01: case 0x20: case 0x29:
        return 1256; // Arabic, Urdu, Farsi
    case 0x25: case 0x26: case 0x27:
        return 1257; // Estonian, Latvian, Lithuanian
    case 0x2A:
        return 1258; // Vietnamese
    case 0x1E:
        return 874; // Thai
    case 0x11:
        return 932; // Japanese
    case 0x12:
        return 949; // Korean
    case 0x04: // Chinese: simplified for the PRC and Singapore, else traditional
        return (sub == 2 || sub == 4) ? 936 : 950;
    default:
        return 1252;
    }
}

uint32_t codePageForCharset(uint32_t charset)
{
    switch (charset) {
    case 0: return 1252;   // ANSI
    case 238: return 1250; // Eastern Europe
    case 204: return 1251; // Russian
    case 161: return 1253; // Greek
    case 162: return 1254; // Turkish
    case 177: return 1255; // Hebrew
    case 178: return 1256; // Arabic
    case 186: return 1257; // Baltic
    case 163: return 1258; // Vietnamese
    case 222: return 874;  // Thai
    case 128: return 932;  // Shift-JIS
    case 134: return 936;  // GB2312
    case 129: return 949;  // Hangul
    case 136: return 950;  // Big5
    default: return 0;
    }
}

Encoding encodingForCodePage(uint32_t codePage)
{
    if (codePage == 65001)
        return Encoding(kUtf8);
    return "CP" + std::to_string(codePage == 0 ? 1252 : codePage);
}

Encoding encodingForLabel(std::string_view label)
{
    const std::string l = lowerAsciiTrimmed(label);
    if (l.empty())
        return {};
    struct Alias {
        std::string_view label;
        uint32_t codePage;
    };
    // Labels that name a Windows code page, or that pages mean as one (as
    // browsers read them: Latin-1 pages are Windows-1252 pages).
    static constexpr Alias kAliases[] = {
        {"utf-8", 65001},        {"utf8", 65001},           {"unicode-1-1-utf-8", 65001},
        {"iso-8859-1", 1252},    {"iso8859-1", 1252},       {"latin1", 1252},
        {"us-ascii", 1252},      {"ascii", 1252},           {"x-user-defined", 1252},
        {"tis-620", 874},        {"iso-8859-11", 874},      {"shift_jis", 932},
        {"shift-jis", 932},      {"sjis", 932},             {"x-sjis", 932},
        {"ms_kanji", 932},       {"windows-31j", 932},      {"gb2312", 936},
        {"gbk", 936},            {"x-gbk", 936},            {"gb_2312-80", 936},
        {"big5", 950},           {"euc-kr", 949},           {"ks_c_5601-1987", 949},
    };
    for (const auto& a : kAliases)
        if (l == a.label)
            return encodingForCodePage(a.codePage);
    for (std::string_view prefix : {"windows-", "cp", "x-cp"}) {
        if (l.rfind(prefix, 0) != 0)
            continue;
        const std::string digits = l.substr(prefix.size());
        if (!digits.empty() && digits.size() <= 5 && digits.find_first_not_of("0123456789") == std::string::npos)
            return isKnownToIconv("CP" + digits) ? "CP" + digits : Encoding();
    }
    // Anything else iconv knows by that name (ISO-8859-2, KOI8-R, EUC-JP).
    if (l.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_.:") != std::string::npos)
        return {};
    std::string upper = l;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return isKnownToIconv(upper) ? upper : Encoding();
}

std::string toUtf8(std::string_view bytes, const Encoding& encoding)
{
    const Encoding& enc = encoding.empty() ? encodingForCodePage(1252) : encoding;
    if (enc == kUtf8)
        return validUtf8(bytes);
    const auto codec = codecFor(enc);
    if (!codec->singleByte)
        return throughIconv(bytes, enc);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    // ASCII is the same in every code page here: copied in runs, as large
    // sitemaps are mostly ASCII.
    for (size_t i = 0; i < bytes.size();) {
        size_t run = i;
        while (run < bytes.size() && static_cast<uint8_t>(bytes[run]) < 0x80)
            ++run;
        out.append(bytes.data() + i, run - i);
        if (run < bytes.size())
            appendUtf8(out, codec->table[static_cast<uint8_t>(bytes[run++])]);
        i = run;
    }
    return out;
}

std::string pageStringToUtf8(std::string_view bytes, const Encoding& encoding)
{
    bool beyondAscii = false;
    for (size_t i = 0; i < bytes.size();) {
        beyondAscii = beyondAscii || static_cast<uint8_t>(bytes[i]) >= 0x80;
        if (nextCodePoint(bytes, i) == kReplacement)
            return toUtf8(bytes, encoding);
    }
    return beyondAscii ? std::string(bytes) : toUtf8(bytes, encoding);
}

Encoding declaredEncoding(std::string_view html)
{
    if (html.substr(0, 3) == "\xEF\xBB\xBF")
        return Encoding(kUtf8);
    if (html.substr(0, 2) == "\xFF\xFE")
        return "UTF-16LE";
    if (html.substr(0, 2) == "\xFE\xFF")
        return "UTF-16BE";
    // The declaration belongs in the head, near the start.
    HtmlScanner scanner(html.substr(0, 4096));
    for (auto t = scanner.next(); t != HtmlScanner::Token::End; t = scanner.next()) {
        if (t != HtmlScanner::Token::Tag)
            continue;
        const HtmlTag& tag = scanner.tag();
        if (tag.name == "body")
            break;
        if (tag.name != "meta" || tag.closing)
            continue;
        if (tag.hasAttribute("charset"))
            return encodingForLabel(tag.attribute("charset"));
        if (toLowerAscii(tag.attribute("http-equiv")) == "content-type") {
            const std::string content = tag.attribute("content");
            const auto at = toLowerAscii(content).find("charset=");
            if (at != std::string::npos)
                return encodingForLabel(content.substr(at + 8, content.find(';', at) - (at + 8)));
        }
    }
    return {};
}

std::string htmlToUtf8(std::string_view html, const Encoding& fallback)
{
    Encoding declared = declaredEncoding(html);
    if (declared == kUtf8 && html.substr(0, 3) == "\xEF\xBB\xBF")
        html.remove_prefix(3);
    return toUtf8(html, declared.empty() ? fallback : declared);
}

Folding foldingForLcid(uint32_t lcid) { return (lcid & 0x3FF) == 0x07 ? Folding::German : Folding::Plain; }

std::string lowerCase(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();)
        appendUtf8(out, lower(nextCodePoint(utf8, i)));
    return out;
}

std::string fold(std::string_view utf8, Folding folding)
{
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const uint32_t cp = lower(nextCodePoint(utf8, i));
        if (cp == 0xDF || cp == 0x1E9E) {
            out += "ss";
        } else if (folding == Folding::German && (cp == 0xE4 || cp == 0xF6 || cp == 0xFC)) {
            out += cp == 0xE4 ? 'a' : cp == 0xF6 ? 'o' : 'u';
            out += 'e';
        } else {
            appendUtf8(out, cp);
        }
    }
    return out;
}

void forEachWord(std::string_view utf8, const std::function<void(std::string_view, size_t, size_t)>& word)
{
    size_t i = 0;
    while (i < utf8.size()) {
        size_t end = i;
        if (!isWordCodePoint(nextCodePoint(utf8, end))) {
            i = end;
            continue;
        }
        while (end < utf8.size()) {
            size_t next = end;
            if (!isWordCodePoint(nextCodePoint(utf8, next)))
                break;
            end = next;
        }
        word(utf8.substr(i, end - i), i, end);
        i = end;
    }
}

} // namespace chm
