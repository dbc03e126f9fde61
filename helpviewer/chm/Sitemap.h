// The contents (.hhc) and index (.hhk) files of a help project: nested lists
// of sitemap objects, each with a name and the topics it leads to.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace chm {

struct SitemapLink {
    std::string title; // for an index entry with several topics; else the entry's name
    std::string local; // topic path as written, relative to the file's root
};

struct SitemapEntry {
    int level = 0;     // 0 for the outermost list
    std::string name;
    std::vector<SitemapLink> links;
    std::string seeAlso; // index only: another keyword to look at instead

    std::string local() const { return links.empty() ? std::string() : links.front().local; }
};

// Reads the entries in document order. Malformed input yields whatever
// entries could be recognised; it never fails.
std::vector<SitemapEntry> parseSitemap(std::string_view html);

} // namespace chm
