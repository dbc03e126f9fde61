#include "toolkit/LoopEnd.h"

#include "toolkit/Application.h"

#include <utility>

namespace tk {

LoopEnd::LoopEnd(std::function<void()> quitLoop)
    : quitLoop_(std::move(quitLoop))
{
}

void LoopEnd::dispatch(TApplication& application, const std::function<void()>& action)
{
    // HandleEvent lets no exception out, so the count always comes back.
    ++depth_;
    application.HandleEvent(action);
    --depth_;
    quitIfIdle();
}

void LoopEnd::quitIfIdle()
{
    if (!requested_ || depth_ != 0)
        return;
    reached_ = true;
    if (running_)
        quitLoop_();
}

void LoopEnd::run(const std::function<void()>& loop)
{
    if (requested_) {
        reached_ = true;
        return;
    }
    running_ = true;
    loop();
    running_ = false;
}

} // namespace tk
