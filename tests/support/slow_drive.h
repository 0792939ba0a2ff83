// The slow drive that with-slow-drive.sh mounts for a test program (slowfs,
// tests/support/slow_fs.c): a drive whose every file system operation can be
// delayed, or held until released.  Everything goes through the drive's
// control file with plain Win32 file calls.
//
// Under Wine, a path lookup (GetFileAttributesW, and the lookup that starts
// every open) runs in the calling thread, but part of opening a file or folder
// (CreateFileW, FindFirstFileW) runs in wineserver, which serves every thread
// of every Wine process: while such an operation is delayed or held, the whole
// Wine session waits, this object's own calls included.  And the kernel lets
// one lookup or listing at a time into a folder of the drive.
#pragma once
#include <windows.h>
#include <string>

struct slow_drive_state {
    long long operations;  // operations on the drive since the last reset
    long long delay_ms;    // delay of each operation
    long long block_ms;    // time blocking has left, 0 when off
};

class slow_drive {
public:
    // Finds the drive from QV_SLOW_DRIVE and QV_SLOW_BACKING.
    slow_drive();
    // Leaves the drive unblocked and without delay.
    ~slow_drive();
    slow_drive(const slow_drive &) = delete;
    slow_drive &operator=(const slow_drive &) = delete;

    // Whether the drive is there and answers; why_not() says why not.
    bool available() const { return why_not_.empty(); }
    const std::wstring &why_not() const { return why_not_; }

    // "N:", and root() + "\" + name.
    const std::wstring &root() const { return root_; }
    std::wstring path(const std::wstring &name) const { return root_ + L"\\" + name; }
    // The same drive as a server's share, "\\qvslow\share" (empty when not
    // given), and share() + "\" + name.
    const std::wstring &share() const { return share_; }
    std::wstring share_path(const std::wstring &name) const { return share_ + L"\\" + name; }
    // The folder behind the drive, as a Windows path (Z:\...), and a name in
    // it: files made there show on the drive, without any delay.
    const std::wstring &backing() const { return backing_; }
    std::wstring backing_path(const std::wstring &name) const { return backing_ + L"\\" + name; }

    // Every operation waits `ms` milliseconds first (0: none).
    bool set_delay(DWORD ms);
    // Every operation waits until unblock(), or for at most `max_ms`.
    bool block(DWORD max_ms);
    // Blocks as block() does from the first operation on the item `name`
    // (a folder of the drive's root, ASCII) or under it, that one held too.
    bool block_at(const std::string &name, DWORD max_ms);
    // Ends blocking, releasing every waiting operation at once.
    bool unblock();
    // The operation count back to 0.
    bool reset_operations();
    // The operation count, or -1 when the control file cannot be read.
    long long operations() const;
    bool read_state(slow_drive_state *state) const;

private:
    bool command(const char *line) const;
    std::wstring control() const { return root_ + L"\\.slowfs-control"; }
    std::wstring root_, share_, backing_, why_not_;
};
