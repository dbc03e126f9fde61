// Run-time library loading. The help engine is a plugin loaded on first use;
// tests wrap the loader to count loads and lookups (ScopedLoader).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

using HMODULE = void*;
using FARPROC = void*;

class Loader {
public:
    virtual ~Loader() = default;
    // Null when the library cannot be loaded (missing, not a library, or its
    // own dependencies unresolved).
    virtual HMODULE load(const std::string& path) = 0;
    virtual FARPROC symbol(HMODULE module, const std::string& name) = 0;
    virtual bool free(HMODULE module) = 0;
    // A library by bare name from the place flags allow (only
    // searchSystemFolderOnly); null where the system has no such place.
    virtual HMODULE loadFrom(const std::string& name, uint32_t flags)
    {
        (void)name;
        (void)flags;
        return nullptr;
    }
};

// dlopen (RTLD_NOW | RTLD_LOCAL), dlsym, dlclose; on Windows LoadLibraryA,
// LoadLibraryExA, GetProcAddress, FreeLibrary.
Loader& systemLoader();
Loader& currentLoader();

class ScopedLoader {
public:
    explicit ScopedLoader(Loader& loader);
    ~ScopedLoader();
    ScopedLoader(const ScopedLoader&) = delete;
    ScopedLoader& operator=(const ScopedLoader&) = delete;

private:
    Loader* previous_;
};

HMODULE LoadLibraryA(const char* path);
// LoadLibraryExA's LOAD_LIBRARY_SEARCH_SYSTEM32: never from the program's or
// the current folder, only from the system folder, for a library that a
// driver package installs there.
constexpr uint32_t searchSystemFolderOnly = 0x00000800;
HMODULE LoadLibraryExA(const char* name, std::nullptr_t file, uint32_t flags);
FARPROC GetProcAddress(HMODULE module, const char* name);
bool FreeLibrary(HMODULE module);

// A looked-up export as the function type it is known to have.
template <typename Function>
Function procAs(FARPROC address)
{
    static_assert(sizeof(Function) == sizeof(FARPROC));
    return reinterpret_cast<Function>(address);
}

} // namespace platform
