// Built as the plugin kpx_recording_engine; see RecordingEngine.h.
#include "tests/help/RecordingEngine.h"

#include <vector>

namespace {

std::vector<RecordedHelpCall> calls;
platform::HWND answer = 0x5150;
bool haveWinType = false;
HH_WINTYPE winType{};
platform::HWND winTypeAnswer = -1;
int attachCount = 0;
KpxHelpHost host{};
bool haveHost = false;

std::string copyText(const char* text)
{
    return text ? std::string(text) : std::string();
}

void copyData(RecordedHelpCall& call)
{
    call.dataWasNull = call.data == 0;
    if (call.data == 0)
        return;
    switch (call.command) {
    case HH_DISPLAY_TOPIC:
    case HH_DISPLAY_INDEX:
    case HH_SYNC:
        call.text = reinterpret_cast<const char*>(call.data);
        break;
    case HH_DISPLAY_TEXT_POPUP: {
        const auto* popup = reinterpret_cast<const HH_POPUP*>(call.data);
        call.hasPopup = true;
        call.popup = *popup;
        call.popupText = copyText(popup->pszText);
        call.popupFont = copyText(popup->pszFont);
        break;
    }
    case HH_DISPLAY_SEARCH: {
        const auto* query = reinterpret_cast<const HH_FTS_QUERY*>(call.data);
        call.hasQuery = true;
        call.query = *query;
        call.queryText = copyText(query->pszSearchQuery);
        call.queryWindowWasNull = query->pszWindow == nullptr;
        call.queryWindow = copyText(query->pszWindow);
        break;
    }
    case HH_SET_WIN_TYPE: {
        const auto* record = reinterpret_cast<const HH_WINTYPE*>(call.data);
        if (record->cbStruct >= static_cast<int32_t>(sizeof(HH_WINTYPE))) {
            call.hasWinType = true;
            call.winType = *record;
        }
        break;
    }
    default:
        break;
    }
}

} // namespace

extern "C" {

platform::HWND HtmlHelpA(platform::HWND caller, const char* file, uint32_t command, uintptr_t data)
{
    RecordedHelpCall call;
    call.caller = caller;
    call.fileWasNull = file == nullptr;
    call.file = copyText(file);
    call.command = command;
    call.data = data;
    if (command == HH_GET_WIN_TYPE) {
        if (data)
            *reinterpret_cast<const HH_WINTYPE**>(data) = haveWinType ? &winType : nullptr;
        calls.push_back(std::move(call));
        return winTypeAnswer;
    }
    copyData(call);
    calls.push_back(std::move(call));
    return answer;
}

void kpxHelpEngineAttach(const KpxHelpHost* hostTable)
{
    ++attachCount;
    haveHost = hostTable != nullptr;
    if (hostTable)
        host = *hostTable;
}

int recEngineCallCount()
{
    return static_cast<int>(calls.size());
}

const RecordedHelpCall* recEngineCall(int index)
{
    if (index < 0 || static_cast<size_t>(index) >= calls.size())
        return nullptr;
    return &calls[static_cast<size_t>(index)];
}

void recEngineClear()
{
    calls.clear();
    answer = 0x5150;
    haveWinType = false;
    winType = HH_WINTYPE{};
    winTypeAnswer = -1;
    attachCount = 0;
    haveHost = false;
    host = KpxHelpHost{};
}

void recEngineSetAnswer(platform::HWND value)
{
    answer = value;
}

void recEngineSetWinType(const HH_WINTYPE* record, platform::HWND value)
{
    haveWinType = record != nullptr;
    winType = record ? *record : HH_WINTYPE{};
    winTypeAnswer = value;
}

int recEngineAttachCount()
{
    return attachCount;
}

const KpxHelpHost* recEngineHost()
{
    return haveHost ? &host : nullptr;
}

} // extern "C"
