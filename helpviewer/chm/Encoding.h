// Text of a help file as the viewer needs it: every 8-bit string is turned
// into UTF-8 from the code page of the file's language (or the charset a page
// declares), and words are compared the way a reader of that language
// expects, whatever their case.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace chm {

// An 8-bit encoding by the name iconv knows it ("CP1252", "UTF-8").
using Encoding = std::string;

// The Windows ANSI code page of a language id; 1252 for one not known.
uint32_t codePageForLcid(uint32_t lcid);
// The code page of a font character set (the third field of a help file's
// font settings, "Arial,8,238"); 0 for one not known.
uint32_t codePageForCharset(uint32_t charset);
Encoding encodingForCodePage(uint32_t codePage);
// The encoding an HTML charset label names ("windows-1252", "utf-8",
// "iso-8859-1", "shift_jis"); empty for one we cannot decode.
Encoding encodingForLabel(std::string_view label);

// `bytes` in `encoding` as UTF-8. Bytes that are not valid in it become
// U+FFFD; an empty or unknown encoding is read as Windows-1252.
std::string toUtf8(std::string_view bytes, const Encoding& encoding);

// A title the compiler copied from a page is in that page's charset, which
// may be UTF-8 in a file whose code page is another: such a string (valid
// UTF-8 with characters beyond ASCII, which text in a Windows code page
// almost never is) stays as it is, any other is decoded from `encoding`.
std::string pageStringToUtf8(std::string_view bytes, const Encoding& encoding);

// The charset a page declares: a byte-order mark, or a <meta> charset in
// its head. Empty when it declares none or one we cannot decode.
Encoding declaredEncoding(std::string_view html);
// A page or sitemap as UTF-8: in its declared charset, else in `fallback`.
std::string htmlToUtf8(std::string_view html, const Encoding& fallback);

// How words of a language compare. German readers take "ß" for "ss" and an
// umlaut for its vowel with "e" ("Grösse", "Groesse" and "Größe" are one
// word); every language ignores case in Unicode, not only in ASCII.
enum class Folding { Plain, German };
Folding foldingForLcid(uint32_t lcid);

// `utf8` in lower case (Unicode's simple mapping).
std::string lowerCase(std::string_view utf8);

// `utf8` with case and the language's equivalent spellings folded away, for
// comparison only.
std::string fold(std::string_view utf8, Folding folding);

// Calls `word(text, begin, end)` for every word of `utf8`: a run of letters,
// digits, and marks; `begin` and `end` are byte offsets into `utf8`. An
// underscore parts words ("LM_PAINT" is "LM" and "PAINT"), as the help
// compilers' stored indexes part them.
void forEachWord(std::string_view utf8, const std::function<void(std::string_view, size_t, size_t)>& word);

} // namespace chm
