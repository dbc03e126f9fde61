// Arbitrary bytes opened as a compiled help file, then walked as the viewer
// walks it: contents, index, window types, context map, every topic, and
// search on the stored index and on our own.
#include "helpviewer/chm/ChmFile.h"
#include "helpviewer/chm/Search.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string error;
    auto file = chm::ChmFile::fromBytes(std::vector<uint8_t>(data, data + size), error);
    if (!file)
        return 0;
    (void)file->contents();
    (void)file->index();
    (void)file->binaryContents();
    (void)file->binaryIndex();
    (void)file->defaultTopic();
    for (const auto& [id, topic] : file->contextMap())
        (void)file->read(topic);
    size_t read = 0;
    for (const auto& name : file->files()) {
        if (++read > 64)
            break;
        (void)file->read(name);
    }
    (void)file->topicTable();
    // Both indexes, with a query that uses every operator.
    const char* query = "serial port* OR \"the cable\" NOT (Größe AND übung)";
    if (auto stored = chm::StoredIndex::open(*file))
        (void)chm::search(*stored, query, file->folding(), false);
    (void)chm::search(*chm::OwnIndex::build(*file), query, file->folding(), true);
    return 0;
}
