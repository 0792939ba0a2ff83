#include "slow_drive.h"
#include <stdio.h>
#include <string.h>

namespace {

std::wstring environment(const wchar_t *name)
{
    wchar_t value[1024];
    DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

}  // namespace

slow_drive::slow_drive()
    : root_(environment(L"QV_SLOW_DRIVE")), share_(environment(L"QV_SLOW_SHARE")),
      backing_(environment(L"QV_SLOW_BACKING"))
{
    slow_drive_state state;
    if (root_.empty() || backing_.empty())
        why_not_ = L"QV_SLOW_DRIVE or QV_SLOW_BACKING is not set: run this program under "
                   L"with-slow-drive.sh (ctest does), e.g. "
                   L"build/with-slow-drive.sh build/wine-run.sh build/bin/PROGRAM.exe";
    else if (GetFileAttributesW(backing_.c_str()) == INVALID_FILE_ATTRIBUTES)
        why_not_ = L"the folder behind the drive, " + backing_ + L", cannot be reached (error " +
                   std::to_wstring(GetLastError()) + L")";
    else if (!read_state(&state))
        why_not_ = L"the drive's control file " + control() + L" cannot be read (error " +
                   std::to_wstring(GetLastError()) + L")";
}

slow_drive::~slow_drive()
{
    if (available()) {
        unblock();
        set_delay(0);
    }
}

bool slow_drive::command(const char *line) const
{
    HANDLE file = CreateFileW(control().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD length = (DWORD)strlen(line), written = 0;
    BOOL ok = WriteFile(file, line, length, &written, NULL);
    CloseHandle(file);
    return ok && written == length;
}

bool slow_drive::set_delay(DWORD ms)
{
    char line[40];
    snprintf(line, sizeof line, "delay %lu\n", (unsigned long)ms);
    return command(line);
}

bool slow_drive::block_at(const std::string &name, DWORD max_ms)
{
    char line[256];
    snprintf(line, sizeof line, "block-at /%s %lu\n", name.c_str(), (unsigned long)max_ms);
    return max_ms > 0 && command(line);
}

bool slow_drive::block(DWORD max_ms)
{
    char line[40];
    snprintf(line, sizeof line, "block %lu\n", (unsigned long)max_ms);
    return max_ms > 0 && command(line);
}

bool slow_drive::unblock()
{
    return command("block 0\n");
}

bool slow_drive::reset_operations()
{
    return command("reset\n");
}

bool slow_drive::read_state(slow_drive_state *state) const
{
    HANDLE file = CreateFileW(control().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char text[256];
    DWORD size = 0, n = 0;
    while (size < sizeof text - 1 && ReadFile(file, text + size, sizeof text - 1 - size, &n, NULL) && n > 0)
        size += n;
    CloseHandle(file);
    text[size] = 0;
    return sscanf(text, "ops %lld\ndelay %lld\nblock %lld", &state->operations, &state->delay_ms,
                  &state->block_ms) == 3;
}

long long slow_drive::operations() const
{
    slow_drive_state state;
    return read_state(&state) ? state.operations : -1;
}
