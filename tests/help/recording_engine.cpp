// Built as the plugin kpx_recording_engine; see RecordingEngine.h.
#include "tests/help/RecordingEngine.h"

namespace {

RecordingEngine state;

std::string copy(const char* text)
{
    return text ? text : "";
}

} // namespace

extern "C" {

RecordingEngine* recordingEngine()
{
    return &state;
}

void kpxHelpEngineAttach(const KpxHelpHost* host)
{
    ++state.attachCount;
    state.host = host;
}

platform::HWND HtmlHelpA(platform::HWND caller, const char* file, uint32_t command, uintptr_t data)
{
    RecordedHelpCall& call = state.calls.emplace_back();
    call.caller = caller;
    call.fileWasNull = file == nullptr;
    call.file = copy(file);
    call.command = command;
    call.data = data;
    if (command == HH_GET_WIN_TYPE) {
        *reinterpret_cast<const HH_WINTYPE**>(data) = state.winType ? &*state.winType : nullptr;
        return state.winTypeAnswer;
    }
    if (data == 0)
        return state.answer;
    switch (command) {
    case HH_DISPLAY_TOPIC:
    case HH_DISPLAY_INDEX:
        call.text = reinterpret_cast<const char*>(data);
        break;
    case HH_DISPLAY_TEXT_POPUP:
        call.popup = *reinterpret_cast<const HH_POPUP*>(data);
        call.text = copy(call.popup.pszText);
        call.font = copy(call.popup.pszFont);
        break;
    case HH_DISPLAY_SEARCH:
        call.query = *reinterpret_cast<const HH_FTS_QUERY*>(data);
        call.text = copy(call.query.pszSearchQuery);
        call.queryWindowWasNull = call.query.pszWindow == nullptr;
        break;
    case HH_SET_WIN_TYPE:
        call.winType = *reinterpret_cast<const HH_WINTYPE*>(data);
        break;
    default:
        break;
    }
    return state.answer;
}

} // extern "C"
