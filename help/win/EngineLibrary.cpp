// The engine is the system's, found by name alone through the system's
// library search.
#include "help/EngineLibrary.h"

#include "help/Kyhhint.h"

// Its vendor's page offers the workshop that installs it.
const char* const HtmlHelpDownloadUrl =
    "https://learn.microsoft.com/en-us/previous-versions/windows/desktop/htmlhelp/microsoft-html-help-downloads";

std::vector<std::string> htmlHelpEngineCandidates()
{
    return {kHtmlHelpEngineLibrary};
}
