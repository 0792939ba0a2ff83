// A folder of 101 mixed entries, as users have them: programs with icons of
// their own, text files, .ico files, shortcuts and sub-folders.
#pragma once
#include <string>

// The bytes of a 16 x 16 icon file of one colour, 32 bits per pixel.
std::string ico_file(unsigned colour);
// Makes the 101 entries in the folder `dir` (made if missing): 20 copies of system
// programs, 40 text files, 15 .ico files, 15 shortcuts to the first text
// files (found as `seen_as` + "\noteN.txt", which may name the same folder
// through another drive) and 11 sub-folders.  False if any could not be made.
bool make_mixed_folder(const std::wstring &dir, const std::wstring &seen_as);
