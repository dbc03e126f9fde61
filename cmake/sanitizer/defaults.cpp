// Linked into every program of a sanitizer build, so that a test run by plain
// ctest, by hand or as a child of another test gets the same options as one
// run by the test script.
extern "C" {

const char* __asan_default_options()
{
    return "detect_leaks=1:abort_on_error=1";
}

const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}

// Allocations that the system's font and display libraries keep until exit.
const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig\n"
           "leak:libdbus\n";
}
}
