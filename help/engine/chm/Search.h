// Full-text search over the topics of a help file: our own word index, built
// from the topics' readable text when the first search asks for it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace chm {

class ChmFile;

class SearchIndex {
public:
    struct Hit {
        std::string path;  // "/topic.htm"
        std::string title;
        uint32_t score = 0; // occurrences of the query's words
    };

    // Indexes every HTML topic of the file.
    static SearchIndex build(const ChmFile& file);

    void addTopic(std::string path, std::string title, std::string_view html);

    // Topics that contain every word of the query (case ignored; a word
    // ending in '*' matches as a prefix), best first. With `titleOnly` the
    // words are looked for in the topics' titles only.
    std::vector<Hit> search(std::string_view query, bool titleOnly = false) const;

    // Topics that carry an associative-link name (case ignored).
    std::vector<std::string> associativeLinks(std::string_view name) const;

    size_t topicCount() const { return topics_.size(); }
    const std::string& titleOf(std::string_view path) const;

    // Splits text into lower-case words: runs of letters, digits and
    // non-ASCII bytes.
    static std::vector<std::string> words(std::string_view text);

private:
    struct Topic {
        std::string path;
        std::string title;
    };
    using Postings = std::map<std::string, std::map<uint32_t, uint32_t>>; // word -> topic -> count

    std::vector<Hit> match(const Postings& postings, std::string_view query) const;

    std::vector<Topic> topics_;
    Postings body_;
    Postings titles_;
    std::map<std::string, std::vector<std::string>> alinks_;
};

} // namespace chm
