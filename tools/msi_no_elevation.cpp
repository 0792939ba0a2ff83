// Marks an installer package as one that needs no elevated privileges: sets
// bit 3 (the value 8) of its Word Count summary property, which wixl leaves
// clear.  Without that bit, Windows asks for an administrator's consent even
// for a package that installs for the current user only.
//
// Usage: msi_no_elevation PACKAGE.msi
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <stdio.h>

// The summary property of the word count (PID_WORDCOUNT of the summary
// information property set) and its bit "elevated privileges not required".
static const UINT word_count_property = 15;
static const INT no_elevation_bit = 8;

int wmain(int argc, WCHAR **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: msi_no_elevation PACKAGE.msi\n");
        return 2;
    }
    MSIHANDLE summary = 0;
    UINT error = MsiGetSummaryInformationW(0, argv[1], 1, &summary);
    if (error != ERROR_SUCCESS) {
        fprintf(stderr, "msi_no_elevation: cannot open the summary information of %ls (error %u)\n", argv[1], error);
        return 1;
    }
    UINT type = 0;
    INT word_count = 0;
    error = MsiSummaryInfoGetPropertyW(summary, word_count_property, &type, &word_count, NULL, NULL, NULL);
    if (error == ERROR_SUCCESS && type != VT_I4)
        word_count = 0;  // absent: the default, 0
    if (error == ERROR_SUCCESS)
        error = MsiSummaryInfoSetPropertyW(summary, word_count_property, VT_I4, word_count | no_elevation_bit, NULL, NULL);
    if (error == ERROR_SUCCESS)
        error = MsiSummaryInfoPersist(summary);
    MsiCloseHandle(summary);
    if (error != ERROR_SUCCESS) {
        fprintf(stderr, "msi_no_elevation: cannot write the summary information of %ls (error %u)\n", argv[1], error);
        return 1;
    }
    return 0;
}
