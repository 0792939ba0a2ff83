// Numbers as the user types them into the settings window.
#pragma once
#include <windows.h>

enum number_check {
    number_ok,
    number_empty,
    number_negative,
    number_not_whole,  // anything but decimal digits
    number_too_large,  // more than a DWORD holds
};

// Reads a decimal DWORD; spaces before and after the digits are allowed.
// `value` is written only when the answer is number_ok.
number_check read_number(const wchar_t *text, DWORD *value);

// Why the text was refused, as a sentence about it for the user.
const wchar_t *number_problem(number_check check);
