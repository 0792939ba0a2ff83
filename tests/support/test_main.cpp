// Entry of every test program: the tests run in a single-threaded COM
// apartment with OLE started, as on the shell's menu thread.
#include <gtest/gtest.h>
#include <ole2.h>

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    HRESULT hr = OleInitialize(NULL);
    if (FAILED(hr))
        return 2;
    int result = RUN_ALL_TESTS();
    OleUninitialize();
    return result;
}
