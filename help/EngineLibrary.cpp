// Our engine ships with the program: beside it, then where the program's
// own folder says the library folder is, then where it was configured.
#include "help/EngineLibrary.h"

#include "help/Kyhhint.h"
#include "help/EngineHost.h"
#include "toolkit/Application.h"

#ifndef KPX_HELP_ENGINE_DIR
#define KPX_HELP_ENGINE_DIR "/usr/local/lib/kpx-updater"
#endif

// A missing engine means a broken installation; the page lists the help
// viewers each distribution packages, which is the way to read the help
// file meanwhile.
const char* const HtmlHelpDownloadUrl = "https://repology.org/projects/?search=chm";

std::vector<std::string> htmlHelpEngineCandidates()
{
    std::vector<std::string> candidates;
    const std::string programFolder = tk::ExtractFilePath(tk::ParamStr(0));
    if (!programFolder.empty())
        candidates.push_back(programFolder + kKpxHelpEngineFileName);
#ifdef KPX_HELP_ENGINE_RELDIR
    // An installation made with another prefix than the configured one (or
    // moved since) keeps its layout, so look where the program's own bin
    // folder says the library folder is.
    if (!programFolder.empty())
        candidates.push_back(programFolder + KPX_HELP_ENGINE_RELDIR "/" + kKpxHelpEngineFileName);
#endif
    candidates.push_back(std::string(KPX_HELP_ENGINE_DIR) + "/" + kKpxHelpEngineFileName);
    return candidates;
}
