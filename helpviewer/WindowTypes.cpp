#include "helpviewer/WindowTypes.h"

#include "helpviewer/chm/Html.h"

namespace kpxhelp {

namespace {

std::string copy(const char* s) { return s ? std::string(s) : std::string(); }

const char* pointTo(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

} // namespace

bool WindowTypes::usable(const HH_WINTYPE* record)
{
    return record && record->cbStruct >= static_cast<int32_t>(sizeof(HH_WINTYPE)) && !record->fUniCodeStrings &&
           record->pszType && record->pszType[0] != '\0';
}

void WindowTypes::Entry::assign(const HH_WINTYPE& from)
{
    // Copy the strings first: `from` may be this very record.
    std::string t = copy(from.pszType), c = copy(from.pszCaption), tc = copy(from.pszToc),
                ix = copy(from.pszIndex), f = copy(from.pszFile), h = copy(from.pszHome),
                j1 = copy(from.pszJump1), j2 = copy(from.pszJump2), u1 = copy(from.pszUrlJump1),
                u2 = copy(from.pszUrlJump2), ct = copy(from.pszCustomTabs);
    record = from;
    type = std::move(t);
    caption = std::move(c);
    toc = std::move(tc);
    index = std::move(ix);
    file = std::move(f);
    home = std::move(h);
    jump1 = std::move(j1);
    jump2 = std::move(j2);
    urlJump1 = std::move(u1);
    urlJump2 = std::move(u2);
    customTabs = std::move(ct);
    record.cbStruct = static_cast<int32_t>(sizeof(HH_WINTYPE));
    record.paInfoTypes = nullptr; // the caller's array is not ours to keep
    repoint();
}

void WindowTypes::Entry::repoint()
{
    record.pszType = type.c_str();
    record.pszCaption = pointTo(caption);
    record.pszToc = pointTo(toc);
    record.pszIndex = pointTo(index);
    record.pszFile = pointTo(file);
    record.pszHome = pointTo(home);
    record.pszJump1 = pointTo(jump1);
    record.pszJump2 = pointTo(jump2);
    record.pszUrlJump1 = pointTo(urlJump1);
    record.pszUrlJump2 = pointTo(urlJump2);
    record.pszCustomTabs = pointTo(customTabs);
}

HH_WINTYPE* WindowTypes::set(const HH_WINTYPE& record)
{
    const std::string key = chm::toLowerAscii(copy(record.pszType));
    auto& slot = set_[key];
    if (!slot)
        slot = std::make_unique<Entry>();
    slot->assign(record);
    return &slot->record;
}

HH_WINTYPE* WindowTypes::find(std::string_view name)
{
    auto it = set_.find(chm::toLowerAscii(name));
    return it == set_.end() ? nullptr : &it->second->record;
}

HH_WINTYPE* WindowTypes::resolve(std::string_view name, const std::string& fileKey, const chm::ChmFile* file)
{
    if (name.empty())
        return nullptr;
    if (HH_WINTYPE* r = find(name))
        return r;
    const std::string key = fileKey + ">" + chm::toLowerAscii(name);
    if (auto it = fromFiles_.find(key); it != fromFiles_.end())
        return &it->second->record;
    const chm::WindowDef* def = file ? file->window(name) : nullptr;
    if (!def)
        return nullptr;
    auto entry = std::make_unique<Entry>();
    entry->type = def->name;
    entry->caption = def->caption;
    entry->toc = def->toc;
    entry->index = def->index;
    entry->file = def->file;
    entry->home = def->home;
    entry->jump1 = def->jump1;
    entry->jump2 = def->jump2;
    entry->urlJump1 = def->urlJump1;
    entry->urlJump2 = def->urlJump2;
    HH_WINTYPE& r = entry->record;
    r.cbStruct = static_cast<int32_t>(sizeof(HH_WINTYPE));
    r.fsValidMembers = def->validMembers;
    r.fsWinProperties = def->properties;
    r.dwStyles = def->styles;
    r.dwExStyles = def->exStyles;
    r.rcWindowPos = {def->left, def->top, def->right, def->bottom};
    r.nShowState = def->showState;
    r.iNavWidth = def->navWidth;
    r.fsToolBarFlags = def->toolBarFlags;
    r.fNotExpanded = def->notExpanded;
    r.curNavType = def->navType;
    r.tabpos = def->tabPos;
    r.idNotify = def->notifyId;
    r.cHistory = def->history;
    entry->repoint();
    HH_WINTYPE* out = &entry->record;
    fromFiles_.emplace(key, std::move(entry));
    return out;
}

} // namespace kpxhelp
