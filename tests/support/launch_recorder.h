// Records the module's launches through its launch seam (g_shell_execute)
// instead of making them, for tests that look at what would be launched.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

struct recorded_launch {
    bool has_verb;
    std::wstring verb, file, parameters, directory;
    bool has_parameters;
    INT show;
    INT_PTR result;
};

// While it lives, every launch is recorded in `launches` and answered with
// `planned_results` in turn, then 42 (success); with `pass_through` set the
// launch is really made and its result recorded.  One at a time.
class launch_recorder {
public:
    launch_recorder();
    ~launch_recorder();
    launch_recorder(const launch_recorder &) = delete;
    launch_recorder &operator=(const launch_recorder &) = delete;
    std::vector<recorded_launch> launches;
    std::vector<INT_PTR> planned_results;
    bool pass_through = false;
};
