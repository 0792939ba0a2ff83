// A folder that shows what the launcher lists and what it leaves out.
#pragma once
#include <string>

// Creates `dir` with files, sub-folders, a shortcut to a sub-folder, a
// hidden file and names the listing filters out.  Returns false on failure.
bool make_sample_folder(const std::wstring &dir);
