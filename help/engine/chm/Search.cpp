#include "help/engine/chm/Search.h"

#include "help/engine/chm/ChmFile.h"
#include "help/engine/chm/Html.h"

#include <algorithm>

namespace chm {

namespace {

bool isWordByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c >= 0x80;
}

// The associative-link names a topic declares in its link objects.
std::vector<std::string> alinkNames(std::string_view html)
{
    std::vector<std::string> names;
    HtmlScanner scanner(html);
    for (auto t = scanner.next(); t != HtmlScanner::Token::End; t = scanner.next()) {
        if (t != HtmlScanner::Token::Tag || scanner.tag().name != "param" || scanner.tag().closing)
            continue;
        if (toLowerAscii(scanner.tag().attribute("name")) != "alink name")
            continue;
        const std::string value = scanner.tag().attribute("value");
        size_t start = 0;
        while (start <= value.size()) {
            size_t end = value.find(';', start);
            if (end == std::string::npos)
                end = value.size();
            std::string name = toLowerAscii(collapseSpace(value.substr(start, end - start)));
            if (!name.empty())
                names.push_back(std::move(name));
            start = end + 1;
        }
    }
    return names;
}

} // namespace

std::vector<std::string> SearchIndex::words(std::string_view text)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && !isWordByte(static_cast<unsigned char>(text[i])))
            ++i;
        const size_t start = i;
        while (i < text.size() && isWordByte(static_cast<unsigned char>(text[i])))
            ++i;
        if (i > start)
            out.push_back(toLowerAscii(text.substr(start, i - start)));
    }
    return out;
}

SearchIndex SearchIndex::build(const ChmFile& file)
{
    SearchIndex index;
    for (const auto& path : file.topics()) {
        auto html = file.read(path);
        if (!html)
            continue;
        std::string title = htmlTitle(*html);
        if (title.empty())
            title = path.substr(path.rfind('/') + 1);
        index.addTopic(path, std::move(title), *html);
    }
    return index;
}

void SearchIndex::addTopic(std::string path, std::string title, std::string_view html)
{
    const auto id = static_cast<uint32_t>(topics_.size());
    for (const auto& w : words(htmlToText(html)))
        ++body_[w][id];
    for (const auto& w : words(title))
        ++titles_[w][id];
    for (auto& name : alinkNames(html))
        alinks_[std::move(name)].push_back(path);
    topics_.push_back({std::move(path), std::move(title)});
}

std::vector<SearchIndex::Hit> SearchIndex::match(const Postings& postings, std::string_view query) const
{
    // Words of the query; a '*' right after a word makes it a prefix.
    std::vector<std::pair<std::string, bool>> terms;
    for (size_t i = 0; i < query.size();) {
        while (i < query.size() && !isWordByte(static_cast<unsigned char>(query[i])))
            ++i;
        const size_t start = i;
        while (i < query.size() && isWordByte(static_cast<unsigned char>(query[i])))
            ++i;
        if (i > start)
            terms.emplace_back(toLowerAscii(query.substr(start, i - start)), i < query.size() && query[i] == '*');
    }
    if (terms.empty())
        return {};

    std::map<uint32_t, uint32_t> result; // topic -> score
    bool first = true;
    for (const auto& [word, prefix] : terms) {
        std::map<uint32_t, uint32_t> found;
        auto it = postings.lower_bound(word);
        for (; it != postings.end(); ++it) {
            const bool hit = prefix ? it->first.compare(0, word.size(), word) == 0 : it->first == word;
            if (!hit)
                break;
            for (const auto& [topic, count] : it->second)
                found[topic] += count;
            if (!prefix)
                break;
        }
        if (first) {
            result = std::move(found);
            first = false;
        } else {
            std::map<uint32_t, uint32_t> both;
            for (const auto& [topic, score] : result)
                if (auto f = found.find(topic); f != found.end())
                    both[topic] = score + f->second;
            result = std::move(both);
        }
        if (result.empty())
            return {};
    }

    std::vector<Hit> hits;
    for (const auto& [topic, score] : result)
        hits.push_back({topics_[topic].path, topics_[topic].title, score});
    std::stable_sort(hits.begin(), hits.end(), [](const Hit& a, const Hit& b) {
        return a.score != b.score ? a.score > b.score : a.title < b.title;
    });
    return hits;
}

std::vector<SearchIndex::Hit> SearchIndex::search(std::string_view query, bool titleOnly) const
{
    return match(titleOnly ? titles_ : body_, query);
}

std::vector<std::string> SearchIndex::associativeLinks(std::string_view name) const
{
    auto it = alinks_.find(toLowerAscii(collapseSpace(name)));
    return it == alinks_.end() ? std::vector<std::string>{} : it->second;
}

const std::string& SearchIndex::titleOf(std::string_view path) const
{
    static const std::string empty;
    for (const auto& t : topics_)
        if (equalsNoCase(t.path, path))
            return t.title;
    return empty;
}

} // namespace chm
