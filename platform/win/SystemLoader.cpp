// Libraries on Windows: LoadLibraryA with the system's search order, so a
// bare name such as the help engine's is found where Windows keeps it;
// LoadLibraryExA where a library must come from one place only.
#include "platform/Library.h"

#include "platform/win/Win32.h"

namespace platform {

static_assert(searchSystemFolderOnly == LOAD_LIBRARY_SEARCH_SYSTEM32);

namespace {

::HMODULE native(HMODULE module)
{
    return static_cast<::HMODULE>(module);
}

class SystemLoader final : public Loader {
public:
    HMODULE load(const std::string& path) override { return ::LoadLibraryA(path.c_str()); }
    HMODULE loadFrom(const std::string& name, uint32_t flags) override
    {
        return ::LoadLibraryExA(name.c_str(), nullptr, flags);
    }
    FARPROC symbol(HMODULE module, const std::string& name) override
    {
        return module ? reinterpret_cast<FARPROC>(::GetProcAddress(native(module), name.c_str())) : nullptr;
    }
    bool free(HMODULE module) override { return module && ::FreeLibrary(native(module)) != FALSE; }
};

} // namespace

Loader& systemLoader()
{
    // Never destroyed: libraries are released at program end, possibly
    // after function-local statics are gone.
    static Loader* const loader = new SystemLoader;
    return *loader;
}

} // namespace platform
