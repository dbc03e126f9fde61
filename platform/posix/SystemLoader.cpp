// Libraries on Linux: dlopen with the system's search rules.
#include "platform/Library.h"

#include <dlfcn.h>

namespace platform {

namespace {

class SystemLoader final : public Loader {
public:
    HMODULE load(const std::string& path) override { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
    FARPROC symbol(HMODULE module, const std::string& name) override
    {
        return module ? dlsym(module, name.c_str()) : nullptr;
    }
    bool free(HMODULE module) override { return module && dlclose(module) == 0; }
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
