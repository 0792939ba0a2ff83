// The walk of the registration table that DllRegisterServer and the
// installer package's generator share.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "common/qv_clsid.h"
#include "module/registration.h"

namespace {
struct recorder {
    std::vector<std::wstring> rows;
    DWORD fail_at = (DWORD)-1;  // index of the visit that reports an error
};
}

static DWORD record(const qv_registry_entry *entry, void *context)
{
    recorder *r = (recorder *)context;
    std::wstring row = entry->root == HKEY_LOCAL_MACHINE ? L"HKLM" : L"HKCU";
    row += std::wstring(L"|") + entry->key + L"|" + entry->name + L"|" + entry->data + (entry->key_is_ours ? L"|ours" : L"");
    EXPECT_EQ(wcslen(entry->data), entry->data_length);
    r->rows.push_back(row);
    return r->rows.size() - 1 == r->fail_at ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

TEST(RegistryTableVisit, WriteModeSkipsRemovalOnlyEntriesAndTakesThePathGiven)
{
    recorder r;
    ASSERT_EQ((DWORD)ERROR_SUCCESS, registry_table_visit(QV_REG_MACHINE, L"[#file]", record, &r));
    ASSERT_EQ(11u, r.rows.size());
    EXPECT_EQ(L"HKLM|Software\\Classes\\CLSID\\" QV_CLSID_STRING L"||quorvane-shellex|ours", r.rows[0]);
    // Explorer's opt-in for selections of cloud files: an empty string value.
    EXPECT_EQ(L"HKLM|Software\\Classes\\CLSID\\" QV_CLSID_STRING L"|ContextMenuOptIn||ours", r.rows[10]);
    EXPECT_EQ(L"HKLM|Software\\Classes\\CLSID\\" QV_CLSID_STRING L"\\InprocServer32||[#file]|ours", r.rows[1]);
    EXPECT_EQ(L"HKLM|Software\\Classes\\Directory\\shellex\\DragDropHandlers\\quorvane-shellex||" QV_CLSID_STRING L"|ours",
              r.rows[6]);
    EXPECT_EQ(L"HKLM|Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved|" QV_CLSID_STRING
              L"|quorvane-shellex",
              r.rows[9]);
    for (const std::wstring &row : r.rows) {
        EXPECT_EQ(std::wstring::npos, row.find(L"batfile")) << row;
        EXPECT_EQ(std::wstring::npos, row.find(L"QuorVane")) << row;
    }
}

TEST(RegistryTableVisit, RemoveModeVisitsEveryEntryInTheUserHive)
{
    recorder r;
    ASSERT_EQ((DWORD)ERROR_SUCCESS, registry_table_visit(QV_REG_REMOVE | QV_REG_LEGACY, nullptr, record, &r));
    ASSERT_EQ(13u, r.rows.size());
    EXPECT_EQ(L"HKCU|Software\\Classes\\batfile\\shellex\\ContextMenuHandlers\\QuorVane||" QV_CLSID_STRING L"|ours",
              r.rows[6]);
    // The approved list is machine-wide by its own root.
    EXPECT_EQ(0u, r.rows[11].find(L"HKLM|"));
    // No path given: $2 expands to nothing.
    EXPECT_EQ(L"HKCU|Software\\Classes\\CLSID\\" QV_CLSID_STRING L"\\InprocServer32|||ours", r.rows[1]);
}

TEST(RegistryTableVisit, FirstVisitorErrorIsReturnedAndTheWalkGoesOn)
{
    recorder r;
    r.fail_at = 2;
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, registry_table_visit(QV_REG_MACHINE, L"x", record, &r));
    EXPECT_EQ(11u, r.rows.size());
}

TEST(RegistryTableVisit, PathTooLongForAnEntryIsNeverHandedOut)
{
    // Data holds 1023 characters: a longer $2 cannot be expanded whole.
    std::wstring path(1024, L'p');
    recorder r;
    EXPECT_EQ((DWORD)ERROR_INSUFFICIENT_BUFFER, registry_table_visit(QV_REG_MACHINE, path.c_str(), record, &r));
    ASSERT_EQ(10u, r.rows.size());
    for (const std::wstring &row : r.rows)
        EXPECT_EQ(std::wstring::npos, row.find(L"ppp")) << row;
}
