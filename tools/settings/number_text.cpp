#include "number_text.h"

number_check read_number(const wchar_t *text, DWORD maximum, DWORD *value)
{
    while (*text == L' ' || *text == L'\t')
        text++;
    const wchar_t *end = text;
    while (*end)
        end++;
    while (end > text && (end[-1] == L' ' || end[-1] == L'\t'))
        end--;
    if (text == end)
        return number_empty;

    bool negative = *text == L'-';
    const wchar_t *digit = negative ? text + 1 : text;
    if (digit == end)
        return number_not_whole;
    ULONGLONG number = 0;
    bool too_large = false;
    for (; digit < end; digit++) {
        if (*digit < L'0' || *digit > L'9')
            return number_not_whole;
        if (!too_large)
            number = number * 10 + (ULONGLONG)(*digit - L'0');
        too_large = too_large || number > maximum;
    }
    if (negative)
        return number_negative;
    if (too_large)
        return number_too_large;
    *value = (DWORD)number;
    return number_ok;
}

std::wstring number_for_people(DWORD number)
{
    std::wstring digits = std::to_wstring(number);
    NUMBERFMTW format = {};
    wchar_t decimal[8] = L".", thousand[8] = L",";
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, ARRAYSIZE(decimal));
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousand, ARRAYSIZE(thousand));
    format.NumDigits = 0;
    format.Grouping = 3;
    format.lpDecimalSep = decimal;
    format.lpThousandSep = thousand;
    wchar_t out[64];
    return GetNumberFormatW(LOCALE_USER_DEFAULT, 0, digits.c_str(), &format, out, ARRAYSIZE(out)) ? out : digits;
}

std::wstring number_problem(number_check check, DWORD maximum)
{
    switch (check) {
    case number_ok:
        return L"It is a valid number.";
    case number_empty:
        return L"The box is empty.";
    case number_negative:
        return L"Negative numbers are not allowed.";
    case number_not_whole:
        return L"Only the digits 0 to 9 are allowed.";
    case number_too_large:
        return L"The largest allowed number is " + number_for_people(maximum) + L".";
    }
    return L"";
}
