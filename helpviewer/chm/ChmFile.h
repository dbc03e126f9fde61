// A compiled help file opened for reading: its files, topics, sitemaps,
// window definitions, context map and system information. The container is
// unpacked by libmspack from a copy of the file held in memory; everything on
// top of it (the internal tables) is read by bounds-checked code here, so a
// damaged file gives an error or partial data, never a crash.
#pragma once

#include "helpviewer/chm/Encoding.h"
#include "helpviewer/chm/Sitemap.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace chm {

// What the compiler recorded about the project.
struct SystemInfo {
    std::string contentsFile;  // "toc.hhc", relative to the root
    std::string indexFile;     // "index.hhk"
    std::string defaultTopic;  // "intro.htm"
    std::string title;
    std::string defaultWindow; // window type name
    std::string compiledFile;
    std::string defaultFont;
    uint32_t lcid = 0;
};

// One window definition of the project, as compiled. Members correspond to
// the engine's window-type record; string members are empty when unset.
struct WindowDef {
    std::string name;
    std::string caption;
    std::string toc;
    std::string index;
    std::string file;
    std::string home;
    std::string jump1;
    std::string jump2;
    std::string urlJump1;
    std::string urlJump2;
    uint32_t validMembers = 0;
    uint32_t properties = 0;
    uint32_t styles = 0;
    uint32_t exStyles = 0;
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    int32_t showState = 0;
    int32_t navWidth = 0;
    uint32_t toolBarFlags = 0;
    int32_t notExpanded = 0;
    int32_t navType = 0;
    int32_t tabPos = 0;
    int32_t notifyId = 0;
    int32_t history = 0;
};

// Resolves `link` against the folder of the topic `base` ("/a/b.htm") into a
// path inside the file: leading "/", "." and ".." resolved, backslashes
// turned into slashes, any "#fragment" or "?query" dropped.
std::string resolvePath(std::string_view base, std::string_view link);

class ChmFile {
public:
    // Limits that keep a damaged or hostile file from exhausting memory.
    static constexpr size_t kMaxFileSize = 256u << 20;
    static constexpr size_t kMaxEntrySize = 64u << 20;

    // Opens a help file. On failure returns null and a sentence for the
    // operator in `error` (missing file, not a compiled help file, damaged).
    static std::unique_ptr<ChmFile> open(const std::string& path, std::string& error);
    static std::unique_ptr<ChmFile> fromBytes(std::vector<uint8_t> bytes, std::string& error);

    ~ChmFile();
    ChmFile(const ChmFile&) = delete;
    ChmFile& operator=(const ChmFile&) = delete;

    // Every file stored, as "/name.htm" (internal tables such as "/#SYSTEM" included).
    const std::vector<std::string>& files() const { return names_; }
    bool contains(std::string_view path) const;
    // The stored spelling of `path` (lookup ignores case), or empty.
    std::string canonical(std::string_view path) const;
    // The bytes of a stored file; nullopt when it is missing or cannot be unpacked.
    std::optional<std::string> read(std::string_view path) const;

    const SystemInfo& system() const { return system_; }
    // The file's language and the encoding of its 8-bit strings; every
    // string this class hands out is UTF-8 already.
    uint32_t lcid() const { return lcid_; }
    const Encoding& encoding() const { return encoding_; }
    Folding folding() const { return foldingForLcid(lcid_); }
    // Why the file is damaged, for the operator; empty when it looks whole.
    // A damaged file is still opened and what can be read is read.
    const std::string& damage() const { return damage_; }
    // Where a stored file's bytes lie in the help file: for a compressed one,
    // the compressed frames that hold it. Nullopt for a file not stored. The
    // container's own files are named as stored ("::DataSpace/...").
    struct Range {
        uint64_t offset = 0;
        uint64_t length = 0;
    };
    std::optional<Range> storedRange(std::string_view path) const;
    // `paths` sorted as their bytes follow each other in the file: reading
    // them in this order unpacks the compressed part once, front to back.
    std::vector<std::string> inStoredOrder(std::vector<std::string> paths) const;
    const std::vector<WindowDef>& windows() const { return windows_; }
    const WindowDef* window(std::string_view name) const; // name compared without case
    // Context id -> topic path ("/intro.htm") from the compiled map.
    const std::map<uint32_t, std::string>& contextMap() const { return contextMap_; }
    std::string topicForContext(uint32_t id) const;

    // The contents and index: from the sitemap files (.hhc, .hhk), or, for a
    // file compiled without them, from the binary tables; empty when neither
    // is there. `damage`, when given, receives a sentence for the operator
    // when the file has the table but it cannot be read whole.
    std::vector<SitemapEntry> contents(std::string* damage = nullptr) const;
    std::vector<SitemapEntry> index(std::string* damage = nullptr) const;
    // The binary forms alone: #TOCIDX and the keyword B-tree.
    std::vector<SitemapEntry> binaryContents() const;
    std::vector<SitemapEntry> binaryIndex() const;

    // The topic to show when none is asked for: the recorded default topic,
    // else the first contents entry, else the first HTML file.
    std::string defaultTopic() const;
    // The paths of the HTML topics, in stored order.
    std::vector<std::string> topics() const;
    // The compiled topic table (#TOPICS): title and path of each topic by
    // its number, as the stored search index names topics.
    std::vector<SitemapLink> topicTable() const;

private:
    // The first of the candidate paths (relative to the root) that names a
    // stored file, in its stored spelling; empty when none does.
    std::string firstStored(const std::vector<std::string>& candidates) const;

    struct Impl;
    explicit ChmFile(std::unique_ptr<Impl> impl);
    void loadTables();
    std::string checkWhole();
    std::string checkResetTable() const;
    std::string_view resetTable() const; // its bytes; empty when it is missing
    std::string sitemapPath(bool index) const;
    std::vector<SitemapEntry> sitemap(bool index, std::string* damage) const;

    std::unique_ptr<Impl> impl_;
    std::vector<std::string> names_;
    std::map<std::string, size_t> byLowerName_;
    SystemInfo system_;
    uint32_t lcid_ = 0;
    Encoding encoding_;
    std::string damage_;
    // False when the compressed part cannot be trusted (its reset table is
    // damaged): its files are then not read at all rather than read wrong.
    bool compressedReadable_ = true;
    std::vector<WindowDef> windows_;
    std::map<uint32_t, std::string> contextMap_;
};

} // namespace chm
