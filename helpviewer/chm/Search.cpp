#include "helpviewer/chm/Search.h"

#include "helpviewer/chm/Bytes.h"
#include "helpviewer/chm/ChmFile.h"
#include "helpviewer/chm/Html.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <set>

namespace chm {

namespace {

// A count of the stored index: groups of 7 bits, the high bit saying that
// more follow. The files at hand put the lowest group first; a value that
// does not fit `limit` that way is read with the highest group first, as
// the file's directory writes them.
uint32_t storedCount(const Bytes& b, size_t& pos, uint32_t limit)
{
    uint32_t low = 0, high = 0;
    size_t end = pos;
    for (unsigned n = 0; n < 5 && end < b.size(); ++n) {
        const uint8_t byte = b.u8(end++);
        low |= (byte & 0x7Fu) << (7 * n);
        high = (high << 7) | (byte & 0x7Fu);
        if (!(byte & 0x80))
            break;
    }
    pos = end;
    return low <= limit || high > limit ? low : high;
}

// The location codes of the stored index: numbers in scale-2 "s/r" code,
// a unary count of extra bits, then the bits, most significant bit first.
class BitReader {
public:
    BitReader(std::string_view data) : data_(data) {}
    bool done() const { return byte_ >= data_.size(); }
    uint32_t sr(uint8_t root)
    {
        uint32_t extra = 0;
        while (bit()) {
            if (++extra > 32 || done())
                return 0;
        }
        const uint32_t bits = root + (extra ? extra - 1 : 0);
        if (bits > 31)
            return 0;
        uint32_t value = 0;
        for (uint32_t i = 0; i < bits; ++i)
            value = (value << 1) | bit();
        return extra ? value + (1u << bits) : value;
    }
    // Each topic's codes end on a byte boundary.
    void align()
    {
        if (bit_) {
            bit_ = 0;
            ++byte_;
        }
    }

private:
    uint32_t bit()
    {
        if (done())
            return 0;
        const uint32_t value = (static_cast<uint32_t>(static_cast<uint8_t>(data_[byte_])) >> (7u - bit_)) & 1u;
        if (++bit_ == 8) {
            bit_ = 0;
            ++byte_;
        }
        return value;
    }

    std::string_view data_;
    size_t byte_ = 0;
    unsigned bit_ = 0;
};

bool beyondAscii(std::string_view s)
{
    return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<uint8_t>(c) >= 0x80; });
}

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

void merge(Occurrences& into, const Occurrences& from)
{
    for (const auto& [topic, positions] : from) {
        auto& all = into[topic];
        all.insert(all.end(), positions.begin(), positions.end());
        std::sort(all.begin(), all.end());
        all.erase(std::unique(all.begin(), all.end()), all.end());
    }
}

// Topics where the words' occurrences follow each other, with the positions
// at which each run starts.
Occurrences consecutive(const std::vector<Occurrences>& words)
{
    Occurrences out;
    if (words.empty())
        return out;
    for (const auto& [topic, starts] : words.front()) {
        std::vector<uint32_t> found;
        for (uint32_t start : starts) {
            bool all = true;
            for (size_t i = 1; i < words.size() && all; ++i) {
                auto it = words[i].find(topic);
                all = it != words[i].end() &&
                      std::binary_search(it->second.begin(), it->second.end(), start + static_cast<uint32_t>(i));
            }
            if (all)
                found.push_back(start);
        }
        if (!found.empty())
            out.emplace(topic, std::move(found));
    }
    return out;
}

// The folded words of a topic with their positions, title words first.
void forEachTopicWord(std::string_view utf8Html, Folding folding,
                      const std::function<void(const std::string&, uint32_t)>& word)
{
    uint32_t position = kTitlePositions;
    forEachWord(htmlTitle(utf8Html), [&](std::string_view w, size_t, size_t) { word(fold(w, folding), position++); });
    position = 0;
    forEachWord(htmlToText(utf8Html), [&](std::string_view w, size_t, size_t) { word(fold(w, folding), position++); });
}

std::string fileNameOf(std::string_view path) { return std::string(path.substr(path.rfind('/') + 1)); }

} // namespace

bool matchesTerm(std::string_view foldedWord, const std::vector<SearchTerm>& terms)
{
    return std::any_of(terms.begin(), terms.end(), [&](const SearchTerm& t) {
        return t.prefix ? startsWith(foldedWord, t.folded) : foldedWord == t.folded;
    });
}

// ---- the stored index ----

std::unique_ptr<StoredIndex> StoredIndex::open(const ChmFile& file)
{
    auto data = file.read("/$FIftiMain");
    if (!data || data->size() < 0x400)
        return nullptr;
    std::unique_ptr<StoredIndex> index(new StoredIndex(file));
    index->data_ = std::move(*data);
    const Bytes b(index->data_);
    // Scales must be 2, the only ones ever seen; roots say how many bits
    // the smallest numbers take.
    if (b.u8(0x1E) != 2 || b.u8(0x20) != 2 || b.u8(0x22) != 2)
        return nullptr;
    index->docRoot_ = b.u8(0x1F);
    index->countRoot_ = b.u8(0x21);
    index->locationRoot_ = b.u8(0x23);
    const uint32_t nodeLength = b.u32(0x2E);
    if (nodeLength < 0x100 || nodeLength > 0x10000 || index->docRoot_ > 31 || index->countRoot_ > 31 ||
        index->locationRoot_ > 31)
        return nullptr;

    // Down the leftmost branch to the first leaf; index entries: word length
    // plus one, shared prefix, the word's tail, child node, a zero word.
    size_t node = b.u32(0x08);
    for (uint32_t level = 1; level < b.u16(0x18) && level < 16; ++level) {
        const uint8_t length = b.u8(node + 2);
        node = b.u32(node + 3 + length);
    }

    // The leaves, chained: next leaf, zero, free space at the end, then
    // entries: word length plus one, shared prefix, tail, 1 for a title
    // word, number of topics, offset and length of its location codes.
    const Encoding& encoding = file.encoding();
    const uint32_t topicLimit = b.u32(0x04);
    std::set<size_t> visited;
    while (node != 0 && b.has(node, nodeLength) && visited.insert(node).second) {
        const size_t end = node + nodeLength - std::min<size_t>(b.u16(node + 6), nodeLength - 8);
        size_t pos = node + 8;
        std::string word;
        while (pos + 2 < end) {
            const uint8_t length = b.u8(pos);
            const uint8_t shared = b.u8(pos + 1);
            if (length == 0)
                break;
            word.resize(std::min<size_t>(shared, word.size()));
            word += b.slice(pos + 2, length - 1u);
            pos += 1u + length;
            Word w;
            w.title = b.u8(pos++) == 1;
            w.documents = storedCount(b, pos, topicLimit);
            w.offset = b.u32(pos);
            pos += 6;
            w.length = storedCount(b, pos, static_cast<uint32_t>(b.size()));
            if (pos > end)
                break;
            index->holdsBeyondAscii_ = index->holdsBeyondAscii_ || beyondAscii(word);
            w.folded = fold(toUtf8(word, encoding), file.folding());
            index->words_.push_back(std::move(w));
        }
        node = b.u32(node);
    }
    std::stable_sort(index->words_.begin(), index->words_.end(),
                     [](const Word& x, const Word& y) { return x.folded < y.folded; });
    index->topics_ = file.topicTable();
    return index;
}

SitemapLink StoredIndex::topic(uint32_t number) const
{
    return number < topics_.size() ? topics_[number] : SitemapLink{};
}

Occurrences StoredIndex::occurrences(const Word& word, bool titlesOnly) const
{
    Occurrences out;
    if (titlesOnly && !word.title)
        return out;
    BitReader bits(Bytes(data_).slice(word.offset, word.length));
    uint32_t topic = 0;
    for (uint32_t d = 0; d < word.documents && !bits.done(); ++d) {
        topic += bits.sr(docRoot_);
        const uint32_t count = bits.sr(countRoot_);
        auto& positions = out[topic];
        uint32_t location = 0;
        for (uint32_t c = 0; c < count && !bits.done(); ++c) {
            location += bits.sr(locationRoot_);
            positions.push_back(word.title ? kTitlePositions + location : location);
        }
        bits.align();
    }
    return out;
}

Occurrences StoredIndex::lookup(std::string_view folded, bool prefix, bool titlesOnly) const
{
    Occurrences out;
    auto it = std::lower_bound(words_.begin(), words_.end(), folded,
                               [](const Word& w, std::string_view key) { return w.folded < key; });
    for (; it != words_.end() && (prefix ? startsWith(it->folded, folded) : it->folded == folded); ++it)
        merge(out, occurrences(*it, titlesOnly));
    return out;
}

// An index that split words at letters beyond ASCII holds such a word only
// in pieces, and in German a word may be written another way ("Grösse" for
// "Größe"): such an index can tell only which topics have a word starting
// like this one, up to the first letter where spellings may differ.
size_t StoredIndex::leadingLetters(const SearchTerm& term) const
{
    if (holdsBeyondAscii_)
        return term.word.size();
    size_t lead = 0;
    while (lead < term.word.size() && static_cast<uint8_t>(term.word[lead]) < 0x80 &&
           !(file_.folding() == Folding::German && lead + 1 < term.word.size() &&
             std::string_view("ae oe ue ss").find(term.word.substr(lead, 2)) != std::string_view::npos))
        ++lead;
    return lead;
}

Occurrences StoredIndex::find(const SearchTerm& term, bool titlesOnly, bool& answered, const Cancel* cancel) const
{
    if (const size_t lead = leadingLetters(term); lead < term.word.size())
        return throughText(term, lead, titlesOnly, answered, cancel);
    answered = true;
    return lookup(term.folded, term.prefix, titlesOnly);
}

// The topics with a word starting like `term`; their text decides, and
// gives the places of the word itself (not of every word that starts alike).
Occurrences StoredIndex::throughText(const SearchTerm& term, size_t lead, bool titlesOnly, bool& answered,
                                     const Cancel* cancel) const
{
    answered = lead > 0;
    if (lead == 0)
        return {};
    const Occurrences candidates = lookup(std::string_view(term.word).substr(0, lead), true, titlesOnly);
    std::map<std::string, uint32_t> byPath;
    for (const auto& [number, positions] : candidates)
        byPath.emplace(resolvePath("/", topic(number).local), number);
    std::vector<std::string> paths;
    for (const auto& [path, number] : byPath)
        paths.push_back(path);
    Occurrences out;
    for (const auto& path : file_.inStoredOrder(std::move(paths))) {
        if (cancel && cancel->load())
            break;
        const auto html = file_.read(path);
        if (!html)
            continue;
        std::vector<uint32_t> found;
        forEachTopicWord(htmlToUtf8(*html, file_.encoding()), file_.folding(),
                         [&](const std::string& word, uint32_t position) {
                             if ((!titlesOnly || position >= kTitlePositions) && matchesTerm(word, {term}))
                                 found.push_back(position);
                         });
        if (!found.empty())
            out.emplace(byPath[path], std::move(found));
    }
    return out;
}

// ---- our own index ----

std::unique_ptr<OwnIndex> OwnIndex::build(const ChmFile& file, const Cancel* cancel)
{
    auto index = std::make_unique<OwnIndex>(file.folding());
    for (const auto& path : file.inStoredOrder(file.topics())) {
        if (cancel && cancel->load())
            break;
        auto html = file.read(path);
        if (!html)
            continue;
        const std::string utf8 = htmlToUtf8(*html, file.encoding());
        std::string title = htmlTitle(utf8);
        if (title.empty())
            title = fileNameOf(path);
        index->addTopic(path.substr(1), std::move(title), utf8);
    }
    return index;
}

void OwnIndex::addTopic(std::string path, std::string title, std::string_view html)
{
    const auto id = static_cast<uint32_t>(topics_.size());
    uint32_t position = kTitlePositions;
    forEachWord(title, [&](std::string_view w, size_t, size_t) { words_[fold(w, folding_)].push_back({id, position++}); });
    position = 0;
    forEachWord(htmlToText(html),
                [&](std::string_view w, size_t, size_t) { words_[fold(w, folding_)].push_back({id, position++}); });
    topics_.push_back({std::move(title), std::move(path)});
}

Occurrences OwnIndex::find(const SearchTerm& term, bool titlesOnly, bool& answered, const Cancel*) const
{
    answered = true;
    Occurrences out;
    for (auto it = words_.lower_bound(term.folded);
         it != words_.end() && (term.prefix ? startsWith(it->first, term.folded) : it->first == term.folded); ++it) {
        for (const Posting& p : it->second)
            if (!titlesOnly || p.position >= kTitlePositions)
                out[p.topic].push_back(p.position);
    }
    for (auto& [topic, positions] : out)
        std::sort(positions.begin(), positions.end());
    return out;
}

SitemapLink OwnIndex::topic(uint32_t number) const
{
    return number < topics_.size() ? topics_[number] : SitemapLink{};
}

// ---- queries ----

namespace {

struct Node {
    enum Kind { Words, And, Or, Not } kind = Words;
    std::vector<SearchTerm> words; // one word, or a phrase
    std::vector<Node> children;
};

class QueryParser {
public:
    QueryParser(std::string_view query, Folding folding) : query_(query), folding_(folding) {}

    Node parse()
    {
        Node n = orExpr();
        while (peek() != Token::End) { // a stray ')' : the rest joins as AND
            take();
            if (peek() != Token::End)
                n = binary(Node::And, std::move(n), orExpr());
        }
        return n;
    }

private:
    enum class Token { End, Open, Close, And, Or, Not, Phrase, Word };

    Token peek()
    {
        if (!peeked_) {
            peekedToken_ = lex();
            peeked_ = true;
        }
        return peekedToken_;
    }
    Token take()
    {
        const Token t = peek();
        peeked_ = false;
        return t;
    }

    Token lex()
    {
        while (pos_ < query_.size() && std::string_view(" \t\r\n").find(query_[pos_]) != std::string_view::npos)
            ++pos_;
        if (pos_ >= query_.size())
            return Token::End;
        const char c = query_[pos_];
        if (c == '(' || c == ')') {
            ++pos_;
            return c == '(' ? Token::Open : Token::Close;
        }
        if (c == '"') {
            const size_t close = query_.find('"', pos_ + 1);
            const size_t end = close == std::string_view::npos ? query_.size() : close;
            text_ = query_.substr(pos_ + 1, end - pos_ - 1);
            pos_ = close == std::string_view::npos ? end : close + 1;
            return Token::Phrase;
        }
        const size_t start = pos_;
        while (pos_ < query_.size() && std::string_view(" \t\r\n()\"").find(query_[pos_]) == std::string_view::npos)
            ++pos_;
        text_ = query_.substr(start, pos_ - start);
        if (equalsNoCase(text_, "and"))
            return Token::And;
        if (equalsNoCase(text_, "or"))
            return Token::Or;
        if (equalsNoCase(text_, "not"))
            return Token::Not;
        return Token::Word;
    }

    static Node binary(Node::Kind kind, Node a, Node b)
    {
        Node n;
        n.kind = kind;
        n.children.push_back(std::move(a));
        n.children.push_back(std::move(b));
        return n;
    }

    bool startsOperand()
    {
        const Token t = peek();
        return t == Token::Open || t == Token::Phrase || t == Token::Word || t == Token::Not;
    }

    Node orExpr()
    {
        Node n = andExpr();
        while (peek() == Token::Or) {
            take();
            n = binary(Node::Or, std::move(n), andExpr());
        }
        return n;
    }

    Node andExpr()
    {
        Node n = unary();
        for (;;) {
            if (peek() == Token::And)
                take();
            else if (!startsOperand())
                return n;
            n = binary(Node::And, std::move(n), unary());
        }
    }

    Node unary()
    {
        switch (take()) {
        case Token::Not: {
            Node n;
            n.kind = Node::Not;
            n.children.push_back(startsOperand() ? unary() : Node{});
            return n;
        }
        case Token::Open: {
            Node n = orExpr();
            if (peek() == Token::Close)
                take();
            return n;
        }
        case Token::Phrase:
        case Token::Word:
            return words(text_);
        default:
            return {};
        }
    }

    Node words(std::string_view text)
    {
        Node n;
        const bool star = !text.empty() && text.back() == '*';
        forEachWord(text, [&](std::string_view w, size_t, size_t) {
            n.words.push_back({lowerCase(w), fold(w, folding_), false});
        });
        if (star && !n.words.empty())
            n.words.back().prefix = true;
        return n;
    }

    std::string_view query_;
    Folding folding_;
    size_t pos_ = 0;
    std::string_view text_;
    bool peeked_ = false;
    Token peekedToken_ = Token::End;
};

using Scores = std::map<uint32_t, uint32_t>; // topic -> matches

class Evaluator {
public:
    Evaluator(const WordIndex& index, bool titlesOnly, const Cancel* cancel)
        : index_(index), titlesOnly_(titlesOnly), cancel_(cancel)
    {
    }
    bool unanswered = false;

    // Null: the node matches nothing in particular (an empty query part),
    // which AND and OR pass over.
    std::optional<Scores> eval(const Node& n)
    {
        switch (n.kind) {
        case Node::Words:
            return n.words.empty() ? std::nullopt : std::optional<Scores>(words(n.words));
        case Node::Not: {
            auto inner = eval(n.children.front());
            Scores all;
            for (uint32_t t = 0; t < index_.topicCount(); ++t)
                if (!inner || !inner->count(t))
                    all.emplace(t, 0);
            return all;
        }
        case Node::And:
        case Node::Or: {
            auto a = eval(n.children[0]);
            auto b = eval(n.children[1]);
            if (!a || !b)
                return a ? a : b;
            Scores out;
            for (const auto& [t, s] : *a) {
                auto other = b->find(t);
                if (other != b->end())
                    out.emplace(t, s + other->second);
                else if (n.kind == Node::Or)
                    out.emplace(t, s);
            }
            if (n.kind == Node::Or)
                for (const auto& [t, s] : *b)
                    out.emplace(t, s); // kept where a had it already
            return out;
        }
        }
        return std::nullopt;
    }

private:
    Scores words(const std::vector<SearchTerm>& terms)
    {
        std::vector<Occurrences> found;
        for (const auto& t : terms) {
            bool answered = false;
            found.push_back(index_.find(t, titlesOnly_, answered, cancel_));
            unanswered = unanswered || !answered || (terms.size() > 1 && !index_.knowsPositions(t));
        }
        Scores out;
        for (const auto& [topic, positions] : terms.size() == 1 ? found.front() : consecutive(found))
            out.emplace(topic, static_cast<uint32_t>(positions.size()));
        return out;
    }

    const WordIndex& index_;
    bool titlesOnly_;
    const Cancel* cancel_;
};

void collectTerms(const Node& n, bool negated, std::vector<SearchTerm>& out)
{
    if (n.kind == Node::Words && !negated)
        out.insert(out.end(), n.words.begin(), n.words.end());
    for (const auto& c : n.children)
        collectTerms(c, negated != (n.kind == Node::Not), out);
}

} // namespace

std::vector<SearchTerm> queryTerms(std::string_view query, Folding folding)
{
    std::vector<SearchTerm> terms;
    collectTerms(QueryParser(query, folding).parse(), false, terms);
    return terms;
}

SearchResult search(const WordIndex& index, std::string_view query, Folding folding, bool titlesOnly,
                    const Cancel* cancel)
{
    SearchResult result;
    const Node root = QueryParser(query, folding).parse();
    collectTerms(root, false, result.terms);
    Evaluator evaluator(index, titlesOnly, cancel);
    const auto scores = evaluator.eval(root);
    result.cancelled = cancel && cancel->load();
    if (evaluator.unanswered) {
        result.needsOwnIndex = true;
        return result;
    }
    if (!scores)
        return result;
    for (const auto& [topic, score] : *scores) {
        SitemapLink link = index.topic(topic);
        if (link.local.empty())
            continue;
        result.hits.push_back({std::move(link.local), link.title.empty() ? fileNameOf(link.local) : link.title, score});
    }
    std::stable_sort(result.hits.begin(), result.hits.end(), [](const SearchHit& a, const SearchHit& b) {
        return a.score != b.score ? a.score > b.score : a.title < b.title;
    });
    return result;
}

// ---- associative links ----

std::vector<std::string> associativeLinks(const ChmFile& file, std::string_view name)
{
    const std::string wanted = fold(collapseSpace(name), file.folding());
    std::vector<std::string> out;
    for (const auto& path : file.topics()) {
        auto html = file.read(path);
        if (!html)
            continue;
        const std::string utf8 = htmlToUtf8(*html, file.encoding());
        HtmlScanner scanner(utf8);
        bool found = false;
        for (auto t = scanner.next(); t != HtmlScanner::Token::End && !found; t = scanner.next()) {
            const HtmlTag& tag = scanner.tag();
            if (t != HtmlScanner::Token::Tag || tag.name != "param" || tag.closing ||
                toLowerAscii(tag.attribute("name")) != "alink name")
                continue;
            const std::string value = tag.attribute("value");
            size_t start = 0;
            while (start <= value.size() && !found) {
                size_t end = value.find(';', start);
                if (end == std::string::npos)
                    end = value.size();
                found = fold(collapseSpace(value.substr(start, end - start)), file.folding()) == wanted;
                start = end + 1;
            }
        }
        if (found)
            out.push_back(path);
    }
    return out;
}

} // namespace chm
