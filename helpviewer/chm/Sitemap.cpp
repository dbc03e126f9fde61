#include "helpviewer/chm/Sitemap.h"

#include "helpviewer/chm/Html.h"

namespace chm {

std::vector<SitemapEntry> parseSitemap(std::string_view html)
{
    std::vector<SitemapEntry> entries;
    HtmlScanner scanner(html);
    int depth = 0;
    bool inObject = false;
    SitemapEntry current;
    std::string pendingTitle;

    for (auto t = scanner.next(); t != HtmlScanner::Token::End; t = scanner.next()) {
        if (t != HtmlScanner::Token::Tag)
            continue;
        const HtmlTag& tag = scanner.tag();
        if (tag.name == "ul") {
            depth = tag.closing ? (depth > 0 ? depth - 1 : 0) : depth + 1;
        } else if (tag.name == "object") {
            if (!tag.closing) {
                // Only sitemap items; the site-properties object and embedded
                // controls are skipped.
                inObject = equalsNoCase(tag.attribute("type"), "text/sitemap");
                current = SitemapEntry{};
                current.level = depth > 0 ? depth - 1 : 0;
                pendingTitle.clear();
            } else if (inObject) {
                inObject = false;
                if (!current.name.empty())
                    entries.push_back(std::move(current));
                current = SitemapEntry{};
            }
        } else if (tag.name == "param" && inObject && !tag.closing) {
            const std::string name = toLowerAscii(collapseSpace(tag.attribute("name")));
            std::string value = tag.attribute("value");
            if (name == "name") {
                if (current.name.empty())
                    current.name = collapseSpace(value);
                else
                    pendingTitle = collapseSpace(value);
            } else if (name == "local") {
                current.links.push_back(
                    {pendingTitle.empty() ? current.name : pendingTitle, std::move(value)});
                pendingTitle.clear();
            } else if (name == "see also") {
                current.seeAlso = collapseSpace(value);
            }
        }
    }
    return entries;
}

} // namespace chm
