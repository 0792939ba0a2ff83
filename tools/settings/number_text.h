// Numbers as the user types them into the settings window.
#pragma once
#include <windows.h>
#include <string>

enum number_check {
    number_ok,
    number_empty,
    number_negative,
    number_not_whole,  // anything but decimal digits
    number_too_large,  // above the largest allowed
};

// Reads a decimal number from 0 to `maximum`; spaces before and after the
// digits are allowed.  `value` is written only when the answer is number_ok.
number_check read_number(const wchar_t *text, DWORD maximum, DWORD *value);

// A number as the user's locale writes it ("5,000" in English).
std::wstring number_for_people(DWORD number);

// Why the text was refused, as a sentence about it for the user.
std::wstring number_problem(number_check check, DWORD maximum);
