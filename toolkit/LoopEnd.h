// When a front end's message loop ends for a terminated application: once
// control is back in the loop, that is once the outermost operator action
// has returned. Ending a toolkit's loop also ends every loop nested in it
// (message boxes among them), and until the action returns its boxes must
// still work.
#pragma once

#include <functional>

namespace tk {

class TApplication;

class LoopEnd {
public:
    // quitLoop ends the running message loop.
    explicit LoopEnd(std::function<void()> quitLoop);

    // Runs an operator action as an event handler (an exception that
    // escapes is shown); the loop ends after it when the application was
    // asked to end meanwhile.
    void dispatch(TApplication& application, const std::function<void()>& action);

    // The application asked to end; quitIfIdle ends the loop.
    void request() { requested_ = true; }
    // No operator action is running.
    bool idle() const { return depth_ == 0; }
    // Ends the loop when the application asked to and no action runs.
    void quitIfIdle();

    // Runs the message loop, unless the application asked to end before it
    // started.
    void run(const std::function<void()>& loop);

    // The application asked to end and control has come back to the loop
    // (or would have, had one been running).
    bool reached() const { return reached_; }

private:
    std::function<void()> quitLoop_;
    int depth_ = 0;
    bool requested_ = false;
    bool reached_ = false;
    bool running_ = false;
};

} // namespace tk
