#include "platform/Library.h"

namespace platform {

namespace {

Loader* current = nullptr;

} // namespace

Loader& currentLoader()
{
    return current ? *current : systemLoader();
}

ScopedLoader::ScopedLoader(Loader& loader)
    : previous_(current)
{
    current = &loader;
}

ScopedLoader::~ScopedLoader()
{
    current = previous_;
}

HMODULE LoadLibraryA(const char* path)
{
    if (!path || !*path)
        return nullptr;
    return currentLoader().load(path);
}

HMODULE LoadLibraryExA(const char* name, std::nullptr_t, uint32_t flags)
{
    if (!name || !*name)
        return nullptr;
    return currentLoader().loadFrom(name, flags);
}

FARPROC GetProcAddress(HMODULE module, const char* name)
{
    if (!module || !name)
        return nullptr;
    return currentLoader().symbol(module, name);
}

bool FreeLibrary(HMODULE module)
{
    return module && currentLoader().free(module);
}

} // namespace platform
