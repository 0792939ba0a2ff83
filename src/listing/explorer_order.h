// Explorer's order of a folder's items, and the first ones of a folder in
// that order picked while it is enumerated, without holding every name.
#pragma once
#include <windows.h>
#include "common/qv_item_list.h"

// Explorer's order of two items by their names and enumeration attributes:
// folders first, then names as StrCmpLogicalW orders them ("file2" before
// "file10"), then, for names it takes for equal ("abc", "ABC"), by wcscmp.
// Negative when a comes first, 0 only for the same name of the same kind.
int explorer_compare(const WCHAR *name_a, DWORD attributes_a, const WCHAR *name_b, DWORD attributes_b);

// The first `limit` of the items offered to it, in Explorer's order (items
// that compare equal keep the order they were offered in).  A name that
// comes after all of a full selection is turned away by one comparison;
// names that make it are kept unsorted until the selection is asked for or
// enough of them wait, and then merged in.  Memory stays within a few times
// `limit` names however many are offered.  Used by one thread.
class explorer_selection {
public:
    explicit explorer_selection(UINT64 limit);
    ~explorer_selection();
    explorer_selection(const explorer_selection &) = delete;
    explorer_selection &operator=(const explorer_selection &) = delete;

    // Offers a found item (`len` characters, no NUL needed).
    void offer(const WCHAR *name, UINT64 len, DWORD attributes);
    // Whether an item offered was left out (past the limit, or for want of
    // memory).
    bool left_out() const { return left_out_; }
    // Items whose names are held now, the selected ones among them.
    UINT64 held() const { return names_.entry_count; }
    // Whether an item was taken in since the last build.
    bool changed() const { return changed_; }
    // Appends to `out` (empty) the items selected so far in order, each of
    // the first `icons` with its type's picture, then "." when some were left
    // out.  No sentinel.  A failed growth of `out` ends it early with ".".
    void build(qv_item_list *out, UINT64 icons);

private:
    void merge_waiting();
    void compact();
    bool before(UINT64 a, UINT64 b) const;

    UINT64 limit_;
    qv_item_list names_ = {};      // every item taken in, in the order offered, some since dropped
    UINT64 *ranked_ = nullptr;     // indices in names_ of the selection, in order
    UINT64 ranked_count_ = 0;
    UINT64 *waiting_ = nullptr;    // indices taken in since the last merge, unordered
    UINT64 waiting_count_ = 0;
    UINT64 waiting_capacity_ = 0;
    bool left_out_ = false;
    bool changed_ = false;
};
