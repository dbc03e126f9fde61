// Full-text search over the topics of a help file. The index the compiler
// stored in the file answers when there is one; our own index, built from
// the topics' text, serves files without one and the words a stored index
// cannot hold. Queries: words (a trailing '*' matches as a prefix), phrases
// in double quotes, AND (also implied between words), OR, NOT and
// parentheses. Words compare folded (see Encoding.h).
#pragma once

#include "helpviewer/chm/Encoding.h"
#include "helpviewer/chm/Sitemap.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace chm {

class ChmFile;

// Where a word occurs: topic number -> word positions in that topic,
// ascending. Title words are numbered from kTitlePositions, so that a
// phrase never runs from the title into the text.
using Occurrences = std::map<uint32_t, std::vector<uint32_t>>;
constexpr uint32_t kTitlePositions = 1u << 30;

// One word of a query.
struct SearchTerm {
    std::string word;   // as typed, lower case, not folded
    std::string folded; // compared with the index's folded words
    bool prefix = false;
};

// Set from another thread to stop a search or an index being built.
using Cancel = std::atomic<bool>;

class WordIndex {
public:
    virtual ~WordIndex() = default;
    // Occurrences of `term`, in titles only with `titlesOnly`. `answered`
    // turns false when this index cannot tell (a word it cannot hold).
    virtual Occurrences find(const SearchTerm& term, bool titlesOnly, bool& answered,
                             const Cancel* cancel) const = 0;
    virtual uint32_t topicCount() const = 0;
    virtual SitemapLink topic(uint32_t number) const = 0; // title and path ("a/b.htm")
    // False when `find` knows the topics of `term` but not where in them it
    // stands, which a phrase needs.
    virtual bool knowsPositions(const SearchTerm&) const { return true; }
};

// The compiler's index ($FIftiMain): a B-tree of words, each with the topics
// and word positions it occurs at, bit-packed.
class StoredIndex final : public WordIndex {
public:
    // Null when the file has no stored index or it cannot be read.
    static std::unique_ptr<StoredIndex> open(const ChmFile& file);

    Occurrences find(const SearchTerm& term, bool titlesOnly, bool& answered, const Cancel* cancel) const override;
    uint32_t topicCount() const override { return static_cast<uint32_t>(topics_.size()); }
    SitemapLink topic(uint32_t number) const override;
    bool knowsPositions(const SearchTerm& term) const override { return leadingLetters(term) == term.word.size(); }

    size_t wordCount() const { return words_.size(); }

private:
    struct Word {
        std::string folded;
        bool title = false;
        uint32_t documents = 0;
        uint32_t offset = 0; // of its location codes
        uint32_t length = 0;
    };
    explicit StoredIndex(const ChmFile& file) : file_(file) {}
    Occurrences occurrences(const Word& word, bool titlesOnly) const;
    Occurrences lookup(std::string_view folded, bool prefix, bool titlesOnly) const;
    Occurrences throughText(const SearchTerm& term, size_t lead, bool titlesOnly, bool& answered,
                            const Cancel* cancel) const;
    size_t leadingLetters(const SearchTerm& term) const;

    const ChmFile& file_;
    std::string data_;
    uint8_t docRoot_ = 0, countRoot_ = 0, locationRoot_ = 0;
    std::vector<Word> words_; // sorted by folded
    std::vector<SitemapLink> topics_;
    // Some compilers end a word at every letter beyond ASCII ("Größe" is
    // stored as "gr" and "e"); such an index holds no word beyond ASCII.
    bool holdsBeyondAscii_ = false;
};

// Our own index of the topics' words.
class OwnIndex final : public WordIndex {
public:
    // Indexes every HTML topic of the file; stops early (returning what it
    // has) when `cancel` becomes true.
    static std::unique_ptr<OwnIndex> build(const ChmFile& file, const Cancel* cancel = nullptr);

    explicit OwnIndex(Folding folding) : folding_(folding) {}
    // `html` is UTF-8 already.
    void addTopic(std::string path, std::string title, std::string_view html);
    Occurrences find(const SearchTerm& term, bool titlesOnly, bool& answered, const Cancel* cancel) const override;
    uint32_t topicCount() const override { return static_cast<uint32_t>(topics_.size()); }
    SitemapLink topic(uint32_t number) const override;

private:
    struct Posting {
        uint32_t topic;
        uint32_t position;
    };
    Folding folding_;
    std::vector<SitemapLink> topics_;
    std::map<std::string, std::vector<Posting>> words_;
};

struct SearchHit {
    std::string path; // "a/b.htm", relative to the root
    std::string title;
    uint32_t score = 0; // matches of the query's words and phrases
};

struct SearchResult {
    std::vector<SearchHit> hits;      // best first
    std::vector<SearchTerm> terms;    // the words to mark in a shown topic
    bool needsOwnIndex = false;       // the stored index cannot answer: ask again with our own
    bool cancelled = false;           // stopped before it was done: the hits are not all there are
};

// Runs `query` on `index`; stops early, marking the result cancelled, once
// `cancel` is set.
SearchResult search(const WordIndex& index, std::string_view query, Folding folding, bool titlesOnly,
                    const Cancel* cancel = nullptr);

// The query's words, for marking them in a topic.
std::vector<SearchTerm> queryTerms(std::string_view query, Folding folding);

// True when `word` (folded) is matched by one of `terms`.
bool matchesTerm(std::string_view foldedWord, const std::vector<SearchTerm>& terms);

// Topics that declare an associative-link name (case ignored), by path.
std::vector<std::string> associativeLinks(const ChmFile& file, std::string_view name);

} // namespace chm
