// Loading the vendor's D2XX library: only from the system folder, and
// refused whole when it lacks a function the port calls.
#include "link/d2xx/D2xx.h"
#include "platform/Library.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

// A system with the library in its system folder, or not, lacking some of
// its functions.
class FakeLoader final : public platform::Loader {
public:
    bool installed = true;
    std::set<std::string> missing;
    std::vector<std::string> searched; // each load, as "name" or "name from flags"
    int freed = 0;

    platform::HMODULE load(const std::string& path) override
    {
        searched.push_back(path);
        return &module;
    }
    platform::HMODULE loadFrom(const std::string& name, uint32_t flags) override
    {
        searched.push_back(name + " from " + std::to_string(flags));
        return installed ? &module : nullptr;
    }
    platform::FARPROC symbol(platform::HMODULE, const std::string& name) override
    {
        return missing.count(name) ? nullptr : reinterpret_cast<platform::FARPROC>(&stand_in);
    }
    bool free(platform::HMODULE) override
    {
        ++freed;
        return true;
    }

private:
    static void stand_in() {}
    int module = 0;
};

TEST(D2xxLibrary, ComesFromTheSystemFolderOnlyAndWholeOrNotAtAll)
{
    struct Case {
        bool installed;
        std::set<std::string> missing;
        const char* whyNot; // null: loaded
    };
    for (const Case& system :
         {Case{true, {}, nullptr}, Case{false, {}, "no FTDI D2XX driver installed"},
          Case{true, {"FT_GetComPortNumber"}, "the installed FTDI D2XX driver has no FT_GetComPortNumber"}}) {
        SCOPED_TRACE(system.whyNot ? system.whyNot : "loaded");
        FakeLoader loader;
        loader.installed = system.installed;
        loader.missing = system.missing;
        const platform::ScopedLoader scope(loader);
        d2xx::Api api{};
        std::string whyNot;
        EXPECT_EQ(d2xx::load(api, whyNot), system.whyNot == nullptr);
        // Never by the search order that looks in the program's folder and
        // the current folder first.
        EXPECT_EQ(loader.searched, std::vector<std::string>{"ftd2xx.dll from 2048"});
        if (system.whyNot) {
            EXPECT_NE(whyNot.find(system.whyNot), std::string::npos) << whyNot;
            EXPECT_EQ(loader.freed, system.installed ? 1 : 0) << "a library it cannot use is let go";
        } else {
            EXPECT_NE(api.Write, nullptr);
            EXPECT_NE(api.GetComPortNumber, nullptr);
            EXPECT_EQ(loader.freed, 0);
        }
    }
}

} // namespace
