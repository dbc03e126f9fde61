#include "platform/Library.h"

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace platform {

namespace {

// Windows: win/SystemLoader.cpp.
#ifndef _WIN32
class SystemLoader final : public Loader {
public:
    HMODULE load(const std::string& path) override { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
    FARPROC symbol(HMODULE module, const std::string& name) override
    {
        return module ? dlsym(module, name.c_str()) : nullptr;
    }
    bool free(HMODULE module) override { return module && dlclose(module) == 0; }
};
#endif

Loader* current = nullptr;

} // namespace

#ifndef _WIN32
Loader& systemLoader()
{
    // Never destroyed: libraries are released at program end, possibly
    // after function-local statics are gone.
    static Loader* const loader = new SystemLoader;
    return *loader;
}
#endif

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
