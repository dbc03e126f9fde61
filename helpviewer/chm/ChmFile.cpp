#include "helpviewer/chm/ChmFile.h"

#include "helpviewer/chm/Bytes.h"
#include "helpviewer/chm/Html.h"

#include <mspack.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>
#include <system_error>

namespace chm {

namespace {

constexpr const char* kInputName = "<help file>";
constexpr const char* kOutputName = "<extracted file>";

// `path` from the root, in lower case, as names are looked up. Appended
// piece by piece: GCC 12 at -O3 takes "/" + std::string(path) for a copy
// that may overlap itself and warns (-Wrestrict), wrongly.
std::string lookupKey(std::string_view path)
{
    std::string key;
    key.reserve(path.size() + 1);
    if (path.empty() || path[0] != '/')
        key += '/';
    key += path;
    return toLowerAscii(key);
}

bool endsWithNoCase(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && equalsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

bool isTopicName(std::string_view name)
{
    if (name.size() >= 2 && name[0] == '/' && (name[1] == '#' || name[1] == '$'))
        return false;
    return endsWithNoCase(name, ".htm") || endsWithNoCase(name, ".html");
}

// The in-memory stand-in for the file system that libmspack reads the help
// file from and writes extracted files to.
struct MemSystem;

struct MemFile {
    MemSystem* sys;
    bool writing;
    size_t pos;
};

struct MemSystem {
    mspack_system base; // first member: libmspack hands us back its address
    const std::vector<uint8_t>* input = nullptr;
    std::string* output = nullptr;
    size_t outputLimit = 0;
};

MemSystem* memSystem(mspack_system* self) { return reinterpret_cast<MemSystem*>(self); }
MemFile* memFile(mspack_file* file) { return reinterpret_cast<MemFile*>(file); }

mspack_file* memOpen(mspack_system* self, const char* filename, int mode)
{
    MemSystem* sys = memSystem(self);
    if (!filename)
        return nullptr;
    bool writing;
    if (std::strcmp(filename, kInputName) == 0 && mode == MSPACK_SYS_OPEN_READ && sys->input) {
        writing = false;
    } else if (std::strcmp(filename, kOutputName) == 0 && mode == MSPACK_SYS_OPEN_WRITE && sys->output) {
        writing = true;
    } else {
        return nullptr;
    }
    auto* file = new (std::nothrow) MemFile{sys, writing, 0};
    return reinterpret_cast<mspack_file*>(file);
}

void memClose(mspack_file* file) { delete memFile(file); }

int memRead(mspack_file* handle, void* buffer, int bytes)
{
    MemFile* file = memFile(handle);
    if (!file || file->writing || bytes < 0)
        return -1;
    const auto& in = *file->sys->input;
    if (file->pos >= in.size())
        return 0;
    const size_t count = std::min(static_cast<size_t>(bytes), in.size() - file->pos);
    std::memcpy(buffer, in.data() + file->pos, count);
    file->pos += count;
    return static_cast<int>(count);
}

int memWrite(mspack_file* handle, void* buffer, int bytes)
{
    MemFile* file = memFile(handle);
    if (!file || !file->writing || bytes < 0)
        return -1;
    std::string& out = *file->sys->output;
    const auto count = static_cast<size_t>(bytes);
    if (count > file->sys->outputLimit - std::min(out.size(), file->sys->outputLimit))
        return -1; // more than the directory promised: refuse rather than grow without bound
    out.append(static_cast<const char*>(buffer), count);
    return bytes;
}

int memSeek(mspack_file* handle, off_t offset, int mode)
{
    MemFile* file = memFile(handle);
    if (!file || file->writing)
        return -1;
    const auto size = static_cast<off_t>(file->sys->input->size());
    off_t base;
    switch (mode) {
    case MSPACK_SYS_SEEK_START:
        base = 0;
        break;
    case MSPACK_SYS_SEEK_CUR:
        base = static_cast<off_t>(file->pos);
        break;
    case MSPACK_SYS_SEEK_END:
        base = size;
        break;
    default:
        return -1;
    }
    if ((offset < 0 && -offset > base) || (offset > 0 && offset > size - base))
        return -1;
    file->pos = static_cast<size_t>(base + offset);
    return 0;
}

off_t memTell(mspack_file* handle)
{
    MemFile* file = memFile(handle);
    return file ? static_cast<off_t>(file->pos) : -1;
}

void memMessage(mspack_file*, const char*, ...) {}

void* memAlloc(mspack_system*, size_t bytes)
{
    // libmspack sizes some buffers from header fields; a damaged header must
    // not turn into a huge allocation.
    if (bytes > ChmFile::kMaxEntrySize)
        return nullptr;
    return std::malloc(bytes);
}

void memFree(void* ptr) { std::free(ptr); }

void memCopy(void* src, void* dest, size_t bytes) { std::memmove(dest, src, bytes); }

// The directory header names the range of listing chunks, and libmspack
// reads only that range. Compilers disagree about it: one names chunk 1 as
// the first listing chunk although chunk 0 is one too, so every file listed
// there would be lost. Every chunk is read instead; libmspack passes over
// those that are not listing chunks (the index chunks), and a name listed
// twice is kept once.
void listEveryChunk(std::vector<uint8_t>& bytes)
{
    const Bytes b(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (b.u32(0x4C) != 0)
        return; // a directory beyond 4 GiB: not in a file we accept
    const size_t dir = b.u32(0x48);
    if (!b.has(dir, 0x54) || std::memcmp(bytes.data() + dir, "ITSP", 4) != 0)
        return;
    const uint32_t chunks = b.u32(dir + 0x2C);
    if (chunks == 0)
        return;
    auto put32 = [&](size_t at, uint32_t v) {
        for (size_t i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(dir + 0x20, 0);
    put32(dir + 0x24, chunks - 1);
}

std::string describeOpenError(int code)
{
    switch (code) {
    case MSPACK_ERR_SIGNATURE:
        return "The file is not a compiled help file.";
    case MSPACK_ERR_NOMEMORY:
        return "The help file is too large to be opened.";
    default:
        return "The help file is damaged: its directory cannot be read.";
    }
}

} // namespace

struct ChmFile::Impl {
    MemSystem sys{};
    std::vector<uint8_t> data;
    mschm_decompressor* decompressor = nullptr; // owns the header
    // Unpacks the compressed files. libmspack reaches a file further on in
    // the compressed part by unpacking everything before it from where it
    // stands, which from the front of a large file is a hundred megabytes
    // and a third of a second; a fresh decompressor starts at the reset
    // point nearest to the file instead.
    mschm_decompressor* extractor = nullptr;
    uint64_t unpackedTo = 0; // where the extractor stands in the unpacked data
    mschmd_header* header = nullptr;
    std::vector<mschmd_file*> entries; // parallel to ChmFile::names_
    // The decompressor keeps state between extractions; the viewer reads
    // topics for its own search index on a worker thread.
    std::mutex extracting;

    Impl()
    {
        sys.base.open = memOpen;
        sys.base.close = memClose;
        sys.base.read = memRead;
        sys.base.write = memWrite;
        sys.base.seek = memSeek;
        sys.base.tell = memTell;
        sys.base.message = memMessage;
        sys.base.alloc = memAlloc;
        sys.base.free = memFree;
        sys.base.copy = memCopy;
        sys.base.null_ptr = nullptr;
    }
    ~Impl()
    {
        if (header)
            decompressor->close(decompressor, header);
        if (extractor)
            mspack_destroy_chm_decompressor(extractor);
        if (decompressor)
            mspack_destroy_chm_decompressor(decompressor);
    }
};

std::string resolvePath(std::string_view base, std::string_view link)
{
    std::string path(link);
    for (char& c : path)
        if (c == '\\')
            c = '/';
    if (auto cut = path.find_first_of("#?"); cut != std::string::npos)
        path.erase(cut);

    std::vector<std::string> parts;
    if (path.empty() || path[0] != '/') {
        std::string folder(base);
        for (char& c : folder)
            if (c == '\\')
                c = '/';
        folder.erase(folder.rfind('/') == std::string::npos ? 0 : folder.rfind('/'));
        path = folder + "/" + path;
    }
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    std::string out;
    for (const auto& p : parts)
        out += "/" + p;
    return out.empty() ? std::string("/") : out;
}

ChmFile::ChmFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ChmFile::~ChmFile() = default;

std::unique_ptr<ChmFile> ChmFile::open(const std::string& path, std::string& error)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        error = "The help file does not exist.";
        return nullptr;
    }
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = "The help file is not a regular file.";
        return nullptr;
    }
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        error = "The help file cannot be read.";
        return nullptr;
    }
    if (size > kMaxFileSize) {
        error = "The help file is too large to be opened.";
        return nullptr;
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (!in || !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
        error = "The help file cannot be read.";
        return nullptr;
    }
    return fromBytes(std::move(bytes), error);
}

std::unique_ptr<ChmFile> ChmFile::fromBytes(std::vector<uint8_t> bytes, std::string& error)
{
    if (bytes.size() > kMaxFileSize) {
        error = "The help file is too large to be opened.";
        return nullptr;
    }
    if (bytes.size() < 4 || std::memcmp(bytes.data(), "ITSF", 4) != 0) {
        error = "The file is not a compiled help file.";
        return nullptr;
    }
    // Some compilers write the header's first GUID twice; the second one
    // has a fixed, known value, so put it right before libmspack checks it.
    static constexpr uint8_t kGuid1[16] = {0x10, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
                                           0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
    if (bytes.size() >= 0x38 && std::memcmp(bytes.data() + 0x18, kGuid1, 16) == 0 &&
        std::memcmp(bytes.data() + 0x28, kGuid1, 16) == 0)
        bytes[0x28] = 0x11;

    listEveryChunk(bytes);

    auto impl = std::make_unique<Impl>();
    impl->data = std::move(bytes);
    impl->sys.input = &impl->data;
    impl->decompressor = mspack_create_chm_decompressor(&impl->sys.base);
    if (!impl->decompressor) {
        error = "The help file cannot be opened: out of memory.";
        return nullptr;
    }
    impl->header = impl->decompressor->open(impl->decompressor, kInputName);
    if (!impl->header) {
        error = describeOpenError(impl->decompressor->last_error(impl->decompressor));
        return nullptr;
    }

    std::unique_ptr<ChmFile> file(new ChmFile(std::move(impl)));
    for (mschmd_file* f = file->impl_->header->files; f; f = f->next) {
        if (!f->filename || f->filename[0] == '\0')
            continue;
        std::string name = f->filename;
        std::string key = toLowerAscii(name);
        if (file->byLowerName_.count(key))
            continue;
        file->byLowerName_.emplace(std::move(key), file->names_.size());
        file->names_.push_back(std::move(name));
        file->impl_->entries.push_back(f);
    }
    if (file->names_.empty()) {
        error = "The help file is damaged: it contains no files.";
        return nullptr;
    }
    file->loadTables();
    file->damage_ = file->checkWhole();
    return file;
}

std::string ChmFile::canonical(std::string_view path) const
{
    auto it = byLowerName_.find(lookupKey(path));
    return it == byLowerName_.end() ? std::string() : names_[it->second];
}

bool ChmFile::contains(std::string_view path) const { return !canonical(path).empty(); }

std::optional<std::string> ChmFile::read(std::string_view path) const
{
    auto it = byLowerName_.find(lookupKey(path));
    if (it == byLowerName_.end())
        return std::nullopt;
    mschmd_file* entry = impl_->entries[it->second];
    if (entry->length < 0 || entry->offset < 0 || static_cast<uint64_t>(entry->length) > kMaxEntrySize)
        return std::nullopt;
    const auto length = static_cast<size_t>(entry->length);
    if (length == 0)
        return std::string();
    if (!entry->section || (entry->section->id != 0 && !compressedReadable_))
        return std::nullopt;
    if (entry->section->id == 0) {
        // Uncompressed: a plain slice of the file.
        const auto base = impl_->header->sec0.offset;
        if (base < 0)
            return std::nullopt;
        const auto start = static_cast<uint64_t>(base) + static_cast<uint64_t>(entry->offset);
        if (start > impl_->data.size() || length > impl_->data.size() - start)
            return std::nullopt;
        return std::string(reinterpret_cast<const char*>(impl_->data.data() + start), length);
    }
    std::string out;
    out.reserve(length); // at most kMaxEntrySize; growing by steps would copy a large table several times
    const std::lock_guard lock(impl_->extracting);
    impl_->sys.output = &out;
    impl_->sys.outputLimit = length;
    constexpr uint64_t kFarAhead = 256u << 10;
    const auto offset = static_cast<uint64_t>(entry->offset);
    if (impl_->extractor && offset > impl_->unpackedTo + kFarAhead) {
        mspack_destroy_chm_decompressor(impl_->extractor);
        impl_->extractor = nullptr;
    }
    if (!impl_->extractor)
        impl_->extractor = mspack_create_chm_decompressor(&impl_->sys.base);
    if (!impl_->extractor)
        return std::nullopt;
    const int rc = impl_->extractor->extract(impl_->extractor, entry, kOutputName);
    impl_->unpackedTo = offset + length;
    impl_->sys.output = nullptr;
    if (rc != MSPACK_ERR_OK || out.size() != length)
        return std::nullopt;
    return out;
}

void ChmFile::loadTables()
{
    // #SYSTEM: a version, then records of (code, length, data). Its strings
    // are in the file's code page, which its language gives, so they are
    // decoded once the whole table is read.
    std::map<uint16_t, std::string> text;
    uint32_t fontCharset = 0;
    if (auto sys = read("/#SYSTEM")) {
        Bytes b(*sys);
        size_t pos = 4;
        while (b.has(pos, 4)) {
            const uint16_t code = b.u16(pos);
            const uint16_t length = b.u16(pos + 2);
            pos += 4;
            if (!b.has(pos, length))
                break;
            if (code == 4)
                system_.lcid = length >= 4 ? b.u32(pos) : 0;
            else
                text[code] = b.cstr(pos, length);
            pos += length;
        }
    }
    // The default font ("Arial,10,238") names a character set; it decides
    // when the file names no language.
    if (const std::string& font = text[16]; std::count(font.begin(), font.end(), ',') >= 2)
        fontCharset = static_cast<uint32_t>(std::strtoul(font.substr(font.rfind(',') + 1).c_str(), nullptr, 10));
    lcid_ = system_.lcid ? system_.lcid : static_cast<uint32_t>(impl_->header->language);
    const uint32_t fromFont = codePageForCharset(fontCharset);
    encoding_ = encodingForCodePage(lcid_ || !fromFont ? codePageForLcid(lcid_) : fromFont);
    auto decoded = [&](uint16_t code) { return toUtf8(text[code], encoding_); };
    system_.contentsFile = decoded(0);
    system_.indexFile = decoded(1);
    system_.defaultTopic = decoded(2);
    // Compilers keep the quotation marks a project wrote around its title.
    system_.title = decoded(3);
    if (system_.title.size() >= 2 && system_.title.front() == '"' && system_.title.back() == '"')
        system_.title = system_.title.substr(1, system_.title.size() - 2);
    system_.defaultWindow = decoded(5);
    system_.compiledFile = decoded(6);
    system_.defaultFont = decoded(16);

    const std::string strings = read("/#STRINGS").value_or(std::string());
    const Bytes stringTable(strings);
    auto stringAt = [&](uint32_t offset) { return toUtf8(stringTable.cstr(offset), encoding_); };

    // #WINDOWS: a count and an entry size, then the window-type records as
    // the 32-bit engine lays them out, strings replaced by #STRINGS offsets.
    if (auto win = read("/#WINDOWS")) {
        Bytes b(*win);
        const uint32_t count = b.u32(0);
        const uint32_t entrySize = b.u32(4);
        if (entrySize >= 0x0C) {
            for (uint64_t i = 0; i < count; ++i) {
                const uint64_t start = 8 + i * entrySize;
                if (start > b.size() || !b.has(static_cast<size_t>(start), entrySize))
                    break;
                const auto s = static_cast<size_t>(start);
                auto u32 = [&](size_t field) { return field + 4 <= entrySize ? b.u32(s + field) : 0u; };
                auto i32 = [&](size_t field) { return static_cast<int32_t>(u32(field)); };
                auto str = [&](size_t field) { return field + 4 <= entrySize ? stringAt(u32(field)) : std::string(); };
                WindowDef w;
                w.name = str(0x08);
                if (w.name.empty())
                    continue;
                w.validMembers = u32(0x0C);
                w.properties = u32(0x10);
                w.caption = str(0x14);
                w.styles = u32(0x18);
                w.exStyles = u32(0x1C);
                w.left = i32(0x20);
                w.top = i32(0x24);
                w.right = i32(0x28);
                w.bottom = i32(0x2C);
                w.showState = i32(0x30);
                w.navWidth = i32(0x4C);
                w.toc = str(0x60);
                w.index = str(0x64);
                w.file = str(0x68);
                w.home = str(0x6C);
                w.toolBarFlags = u32(0x70);
                w.notExpanded = i32(0x74);
                w.navType = i32(0x78);
                w.tabPos = i32(0x7C);
                w.notifyId = i32(0x80);
                w.history = i32(0x98);
                w.jump1 = str(0x9C);
                w.jump2 = str(0xA0);
                w.urlJump1 = str(0xA4);
                w.urlJump2 = str(0xA8);
                windows_.push_back(std::move(w));
            }
        }
    }

    // #IVB: a byte length, then (context id, #STRINGS offset) pairs. The
    // string is the topic the id was aliased to; compilers differ in whether
    // they keep it relative or as the source file's full path, so the longest
    // tail of it that names a stored file wins.
    if (auto ivb = read("/#IVB")) {
        Bytes b(*ivb);
        const size_t end = std::min<size_t>(b.size(), 4 + static_cast<size_t>(b.u32(0)));
        for (size_t pos = 4; pos + 8 <= end; pos += 8) {
            const uint32_t id = b.u32(pos);
            std::string target = resolvePath("/", stringAt(b.u32(pos + 4)));
            std::string found;
            for (size_t cut = 0; cut != std::string::npos && found.empty(); cut = target.find('/', cut + 1))
                found = canonical(target.substr(cut));
            if (!found.empty())
                contextMap_.emplace(id, found);
        }
    }
}

const WindowDef* ChmFile::window(std::string_view name) const
{
    for (const auto& w : windows_)
        if (equalsNoCase(w.name, name))
            return &w;
    return nullptr;
}

std::string ChmFile::topicForContext(uint32_t id) const
{
    auto it = contextMap_.find(id);
    return it == contextMap_.end() ? std::string() : it->second;
}

std::string ChmFile::firstStored(const std::vector<std::string>& candidates) const
{
    for (const auto& c : candidates) {
        if (c.empty())
            continue;
        std::string path = canonical(resolvePath("/", c));
        if (!path.empty())
            return path;
    }
    return {};
}

std::string ChmFile::sitemapPath(bool index) const
{
    std::vector<std::string> candidates;
    candidates.push_back(index ? system_.indexFile : system_.contentsFile);
    if (const WindowDef* w = window(system_.defaultWindow))
        candidates.push_back(index ? w->index : w->toc);
    if (std::string path = firstStored(candidates); !path.empty())
        return path;
    for (const auto& n : names_)
        if (endsWithNoCase(n, index ? ".hhk" : ".hhc"))
            return n;
    return {};
}

std::vector<SitemapEntry> ChmFile::sitemap(bool index, std::string* damage) const
{
    const std::string path = sitemapPath(index);
    const char* damaged = index ? "The index of this file is damaged." : "The contents of this file are damaged.";
    auto note = [&] {
        if (damage)
            *damage = damaged;
    };
    if (!path.empty()) {
        if (auto text = read(path)) {
            auto entries = parseSitemap(htmlToUtf8(*text, encoding_));
            // A sitemap that lists objects yet yields no entry has been garbled.
            if (entries.empty() && toLowerAscii(*text).find("text/sitemap") != std::string::npos)
                note();
            return entries;
        }
        note(); // the binary form may still hold what the sitemap did
    }
    const char* table = index ? "/$WWKeywordLinks/BTree" : "/#TOCIDX";
    auto entries = index ? binaryIndex() : binaryContents();
    if (entries.empty() && contains(table)) {
        const auto raw = read(table); // only for a file whose table gave nothing
        if (!raw || !raw->empty())
            note();
    }
    return entries;
}

std::vector<SitemapEntry> ChmFile::contents(std::string* damage) const { return sitemap(false, damage); }

std::vector<SitemapEntry> ChmFile::index(std::string* damage) const { return sitemap(true, damage); }

namespace {

// The topic tables: #TOPICS (16-byte records: contents offset, title in
// #STRINGS, record in #URLTBL, flags), #URLTBL (12-byte records: id, topic,
// offset in #URLSTR) and #URLSTR (URL offset, frame offset, then the path).
struct TopicTables {
    std::string topics, urlTable, urlStrings, strings;
    Encoding encoding;

    TopicTables(const ChmFile& file)
        : topics(file.read("/#TOPICS").value_or("")), urlTable(file.read("/#URLTBL").value_or("")),
          urlStrings(file.read("/#URLSTR").value_or("")), strings(file.read("/#STRINGS").value_or("")),
          encoding(file.encoding())
    {
    }
    size_t count() const { return topics.size() / 16; }

    SitemapLink topic(uint32_t index) const
    {
        const Bytes t(topics);
        const uint64_t at = uint64_t{index} * 16;
        if (at > t.size() || !t.has(static_cast<size_t>(at), 16))
            return {};
        const auto pos = static_cast<size_t>(at);
        SitemapLink link;
        if (const uint32_t title = t.u32(pos + 4); title != 0xFFFFFFFFu)
            link.title = pageStringToUtf8(Bytes(strings).cstr(title), encoding);
        const Bytes u(urlTable);
        const uint32_t url = t.u32(pos + 8);
        if (u.has(url, 12))
            link.local = toUtf8(Bytes(urlStrings).cstr(static_cast<size_t>(uint64_t{u.u32(url + 8)} + 8)), encoding);
        if (link.title.empty())
            link.title = link.local;
        return link;
    }
};

// UTF-16LE code units [from, to) of `b` as UTF-8.
std::string utf16ToUtf8(const Bytes& b, size_t from, size_t to)
{
    std::string out;
    for (size_t i = from; i + 2 <= to; i += 2) {
        uint32_t cp = b.u16(i);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 4 <= to) {
            const uint32_t low = b.u16(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        appendUtf8(out, cp);
    }
    return out;
}

// Offset just past the UTF-16 terminator of the string at `from`, or `end`.
size_t utf16End(const Bytes& b, size_t from, size_t end)
{
    for (size_t i = from; i + 2 <= end; i += 2)
        if (b.u16(i) == 0)
            return i;
    return end;
}

constexpr size_t kMaxBinaryEntries = 200000;

} // namespace

std::vector<SitemapEntry> ChmFile::binaryContents() const
{
    std::vector<SitemapEntry> out;
    const auto toc = read("/#TOCIDX");
    if (!toc)
        return out;
    const TopicTables tables(*this);
    const Bytes b(*toc);
    // Entries: flags at +4 (4: has children, 8: has a topic), the topic
    // index or a #STRINGS title at +8, the next sibling at +0x10 and, with
    // children, the first child at +0x14. Offset 0 ends a chain.
    std::vector<std::pair<uint32_t, int>> pending{{b.u32(0), 0}};
    std::vector<bool> seen(b.size(), false);
    while (!pending.empty() && out.size() < kMaxBinaryEntries) {
        const auto [offset, level] = pending.back();
        pending.pop_back();
        if (offset == 0 || !b.has(offset, 0x14) || seen[offset])
            continue;
        seen[offset] = true;
        const uint32_t flags = b.u32(offset + 4);
        const uint32_t value = b.u32(offset + 8);
        SitemapEntry entry;
        entry.level = level;
        if (flags & 8) {
            SitemapLink link = tables.topic(value);
            entry.name = link.title;
            if (!link.local.empty())
                entry.links.push_back(std::move(link));
        } else {
            entry.name = toUtf8(Bytes(tables.strings).cstr(value), tables.encoding);
        }
        out.push_back(std::move(entry));
        pending.emplace_back(b.u32(offset + 0x10), level);
        if ((flags & 4) && b.has(offset, 0x18))
            pending.emplace_back(b.u32(offset + 0x14), level + 1); // children come before the next sibling
    }
    return out;
}

std::vector<SitemapEntry> ChmFile::binaryIndex() const
{
    std::vector<SitemapEntry> out;
    const auto tree = read("/$WWKeywordLinks/BTree");
    if (!tree)
        return out;
    const Bytes b(*tree);
    constexpr size_t kHeader = 0x4C;
    const uint16_t blockSize = b.u16(4);
    if (b.u16(0) != 0x293B || blockSize < 16)
        return out;
    const TopicTables tables(*this);
    const size_t blocks = (b.size() - std::min(b.size(), kHeader)) / blockSize;
    // The listing blocks come first, up to the last one the header names;
    // index blocks follow them. Their chain pointers are not relied on, as
    // compilers fill them differently. Each listing block: free space, entry
    // count, previous and next block, then the entries.
    const size_t listing = std::min<size_t>(blocks, size_t{b.u32(0x1A)} + 1);
    for (size_t block = 0; block < listing && out.size() < kMaxBinaryEntries; ++block) {
        const size_t start = kHeader + block * blockSize;
        const size_t end = start + blockSize;
        const uint16_t count = b.u16(start + 2);
        size_t pos = start + 12;
        for (uint16_t n = 0; n < count && pos < end; ++n) {
            // Keyword (UTF-16), see-also flag, depth, start of this level's
            // part in the keyword, 0, number of topics, topics, 1, counter.
            const size_t nameEnd = utf16End(b, pos, end);
            const size_t fields = nameEnd + 2;
            if (fields + 16 > end)
                break;
            const uint16_t seeAlso = b.u16(fields);
            const uint16_t depth = b.u16(fields + 2);
            const uint32_t charIndex = b.u32(fields + 4);
            const uint32_t topics = b.u32(fields + 12);
            SitemapEntry entry;
            entry.level = depth;
            const size_t partStart = uint64_t{charIndex} * 2 < nameEnd - pos ? pos + size_t{charIndex} * 2 : pos;
            entry.name = utf16ToUtf8(b, partStart, nameEnd);
            size_t next = fields + 16;
            if (seeAlso) {
                const size_t alsoEnd = utf16End(b, next, end);
                entry.seeAlso = utf16ToUtf8(b, next, alsoEnd);
                next = alsoEnd + 2;
            } else {
                if (uint64_t{topics} * 4 > end - next)
                    break;
                for (uint32_t t = 0; t < topics; ++t) {
                    SitemapLink link = tables.topic(b.u32(next + size_t{t} * 4));
                    if (!link.local.empty())
                        entry.links.push_back(std::move(link));
                }
                next += size_t{topics} * 4;
            }
            pos = next + 8;
            if (!entry.name.empty())
                out.push_back(std::move(entry));
        }
    }
    return out;
}

std::string ChmFile::checkWhole()
{
    // The header records the file's length; a copy cut short (an aborted
    // download, a full disk) loses the compressed section at its end.
    const auto size = static_cast<uint64_t>(impl_->data.size());
    const auto recorded = static_cast<uint64_t>(std::max<off_t>(impl_->header->length, 0));
    if (recorded > size)
        return "The help file is incomplete: it ends after " + std::to_string(size) + " of its " +
               std::to_string(recorded) + " bytes.";
    const mschmd_file* content = impl_->header->sec1.content;
    if (content && content->offset >= 0 && content->length >= 0) {
        const auto end = static_cast<uint64_t>(impl_->header->sec0.offset) +
                         static_cast<uint64_t>(content->offset) + static_cast<uint64_t>(content->length);
        if (end > size)
            return "The help file is damaged: its compressed part ends beyond the end of the file.";
    }
    // A contents or index that cannot be read is told when it is read.
    if (std::string problem = checkResetTable(); !problem.empty()) {
        compressedReadable_ = false;
        return problem;
    }
    return {};
}

namespace {

// The reset table: a header (entry count at 4, entry size at 8, offset of
// the entries at 0x0C, unpacked and packed length at 0x10 and 0x18, frame
// length at 0x20), then where each 32 KB frame of the unpacked data starts
// in the compressed part.
struct ResetTable {
    static constexpr uint64_t kFrame = 0x8000;

    explicit ResetTable(std::string_view bytes) : b(bytes) {}
    uint32_t entries() const { return b.u32(4); }
    uint32_t entrySize() const { return b.u32(8); }
    uint32_t entriesAt() const { return b.u32(0x0C); }
    uint64_t unpacked() const { return u64(0x10); }
    uint64_t packed() const { return u64(0x18); }
    uint32_t frameLength() const { return b.u32(0x20); }
    uint64_t frameStart(uint64_t frame) const
    {
        const size_t at = entriesAt() + frame * entrySize();
        return entrySize() == 8 ? u64(at) : b.u32(at);
    }

    Bytes b;

private:
    uint64_t u64(size_t at) const { return b.u32(at) | (uint64_t{b.u32(at + 4)} << 32); }
};

} // namespace

std::string_view ChmFile::resetTable() const
{
    const mschmd_file* table = impl_->header->sec1.rtable;
    if (!table || table->section != &impl_->header->sec0.base || table->offset < 0 || table->length < 0x28)
        return {};
    const auto start = static_cast<uint64_t>(impl_->header->sec0.offset) + static_cast<uint64_t>(table->offset);
    if (start > impl_->data.size() || static_cast<uint64_t>(table->length) > impl_->data.size() - start)
        return {};
    return {reinterpret_cast<const char*>(impl_->data.data() + start), static_cast<size_t>(table->length)};
}

// libmspack seeks in the compressed part by the reset table. A wrong entry
// would unpack another frame in its place, and a page would show another
// topic's text as if it were its own, so the table is checked before any
// page is read: one offset per frame, ascending from 0, within the
// compressed part, one for every frame of the unpacked length, and no file
// listed beyond that length.
std::string ChmFile::checkResetTable() const
{
    bool compressedFiles = false;
    uint64_t listedEnd = 0;
    for (const mschmd_file* f : impl_->entries) {
        if (f->section && f->section->id == 1 && f->length > 0) {
            compressedFiles = true;
            listedEnd = std::max(listedEnd, static_cast<uint64_t>(f->offset) + static_cast<uint64_t>(f->length));
        }
    }
    if (!compressedFiles)
        return {};
    const std::string damaged = "The help file is damaged: its reset table does not match its compressed part, "
                                "so its compressed pages cannot be read.";
    const mschmd_file* content = impl_->header->sec1.content;
    const ResetTable t(resetTable());
    if (!content || content->length < 0 || t.b.size() == 0)
        return damaged;
    const uint32_t entries = t.entries();
    if (t.frameLength() != ResetTable::kFrame || (t.entrySize() != 8 && t.entrySize() != 4) || entries == 0 ||
        !t.b.has(t.entriesAt(), uint64_t{entries} * t.entrySize()) ||
        t.packed() > static_cast<uint64_t>(content->length) || listedEnd > t.unpacked())
        return damaged;
    // Compilers may add one entry for the end of the compressed part.
    const uint64_t frames = (t.unpacked() + ResetTable::kFrame - 1) / ResetTable::kFrame;
    if (entries != frames && entries != frames + 1)
        return damaged;
    uint64_t previous = 0;
    for (uint32_t i = 0; i < entries; ++i) {
        const uint64_t offset = t.frameStart(i);
        if ((i == 0 && offset != 0) || (i > 0 && offset <= previous) || offset > t.packed() ||
            (offset == t.packed() && i < frames))
            return damaged;
        previous = offset;
    }
    return {};
}

std::optional<ChmFile::Range> ChmFile::storedRange(std::string_view path) const
{
    const mschmd_file* f = nullptr;
    if (auto it = byLowerName_.find(lookupKey(path)); it != byLowerName_.end())
        f = impl_->entries[it->second];
    for (const mschmd_file* s = impl_->header->sysfiles; s && !f; s = s->next)
        if (s->filename && path == s->filename)
            f = s; // the container's own files ("::DataSpace/...")
    if (!f)
        return std::nullopt;
    const auto sec0 = static_cast<uint64_t>(impl_->header->sec0.offset);
    if (!f->section || f->section->id == 0)
        return Range{sec0 + static_cast<uint64_t>(f->offset), static_cast<uint64_t>(f->length)};
    // A compressed file: the frames from the one it starts in to the one
    // after it ends, by the reset table.
    const mschmd_file* content = impl_->header->sec1.content;
    if (!content || !compressedReadable_)
        return std::nullopt;
    const ResetTable t(resetTable());
    auto frameStart = [&](uint64_t frame) {
        return frame < t.entries() ? t.frameStart(frame) : static_cast<uint64_t>(content->length);
    };
    const uint64_t first = static_cast<uint64_t>(f->offset) / ResetTable::kFrame;
    const uint64_t last = (static_cast<uint64_t>(f->offset + f->length) + ResetTable::kFrame - 1) / ResetTable::kFrame;
    const uint64_t base = sec0 + static_cast<uint64_t>(content->offset);
    return Range{base + frameStart(first), frameStart(last) - frameStart(first)};
}

std::vector<std::string> ChmFile::inStoredOrder(std::vector<std::string> paths) const
{
    auto place = [this](const std::string& path) {
        auto it = byLowerName_.find(lookupKey(path));
        if (it == byLowerName_.end())
            return std::pair<unsigned, off_t>{2, 0};
        const mschmd_file* f = impl_->entries[it->second];
        return std::pair<unsigned, off_t>{f->section ? f->section->id : 2, f->offset};
    };
    std::stable_sort(paths.begin(), paths.end(),
                     [&](const std::string& a, const std::string& b) { return place(a) < place(b); });
    return paths;
}

std::vector<SitemapLink> ChmFile::topicTable() const
{
    const TopicTables tables(*this);
    std::vector<SitemapLink> out;
    out.reserve(std::min(tables.count(), kMaxBinaryEntries));
    for (size_t i = 0; i < tables.count() && i < kMaxBinaryEntries; ++i)
        out.push_back(tables.topic(static_cast<uint32_t>(i)));
    return out;
}

std::vector<std::string> ChmFile::topics() const
{
    std::vector<std::string> out;
    for (const auto& n : names_)
        if (isTopicName(n))
            out.push_back(n);
    return out;
}

std::string ChmFile::defaultTopic() const
{
    std::vector<std::string> candidates{system_.defaultTopic};
    if (const WindowDef* w = window(system_.defaultWindow)) {
        candidates.push_back(w->home);
        candidates.push_back(w->file);
    }
    if (std::string path = firstStored(candidates); !path.empty())
        return path;
    for (const auto& e : contents()) {
        std::string path = canonical(resolvePath("/", e.local()));
        if (!path.empty())
            return path;
    }
    auto all = topics();
    return all.empty() ? std::string() : all.front();
}

} // namespace chm
