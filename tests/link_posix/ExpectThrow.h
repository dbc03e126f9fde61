#pragma once

#include <gtest/gtest.h>

#include <string>

// Runs f, expects it to throw E, and returns the exception's text for
// checking what the operator would be told.
template <class E, class F>
std::string thrownText(F&& f)
{
    try {
        f();
    } catch (const E& e) {
        return e.what();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "wrong exception: " << e.what();
        return {};
    }
    ADD_FAILURE() << "nothing thrown";
    return {};
}
