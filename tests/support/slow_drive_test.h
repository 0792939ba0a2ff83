// A test on the slow drive with an extension object to right-click with:
// the drive is left unblocked and without delay, and every worker ended,
// after each test.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include "extension/qv_shellex.h"
#include "slow_drive.h"
#include "test_support.h"

// Far beyond any limit here: a blocked operation waits this long unless the
// test lets it go.
const DWORD blocked_ms = 60000;
// What "back within the limit" must mean on any machine: a few seconds,
// against a drive that would hold the host for a minute or more.
const DWORD back_soon_ms = 5000;

class slow_drive_test : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(drive.available()) << "no slow drive: " << testing::PrintToString(drive.why_not());
        ext = qv_shellex::create();
    }
    void TearDown() override
    {
        drive.unblock();
        drive.set_delay(0);
        EXPECT_TRUE(listing_workers_end()) << "every worker ends once the drive answers";
        if (ext)
            ext->Release();
    }
    slow_drive drive;
    settings_scope settings;
    qv_shellex *ext = NULL;
};
