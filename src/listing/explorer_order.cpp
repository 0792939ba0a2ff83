// Explorer's order, and the selection of a folder's first items in it.
#include "listing/explorer_order.h"
#include <stdlib.h>
#include <stdint.h>
#include <wchar.h>
#include <algorithm>
#include <shlwapi.h>
#include "listing/item_pictures.h"

// The icon of a kept item whose type's picture is not looked up yet: only
// the items that end up among the first with a picture need it.
#define PICTURE_NOT_LOOKED_UP (-2)

// Items that wait to be merged in: enough that merging costs little per
// item, few enough that a selection of a few names stays small.
#define FEWEST_WAITING 64
#define MOST_WAITING 4096

int explorer_compare(const WCHAR *name_a, DWORD attributes_a, const WCHAR *name_b, DWORD attributes_b)
{
    bool folder_a = (attributes_a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    bool folder_b = (attributes_b & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder_a != folder_b)
        return folder_a ? -1 : 1;
    int order = StrCmpLogicalW(name_a, name_b);
    return order != 0 ? order : wcscmp(name_a, name_b);
}

explorer_selection::explorer_selection(UINT64 limit) : limit_(limit)
{
    waiting_capacity_ = std::min<UINT64>(std::max<UINT64>(limit, FEWEST_WAITING), MOST_WAITING);
}

explorer_selection::~explorer_selection()
{
    list_clear(&names_);
    free(ranked_);
    free(waiting_);
}

// Items taken in are numbered in the order offered, and a compaction keeps
// that order: the number breaks ties.
bool explorer_selection::before(UINT64 a, UINT64 b) const
{
    int order = explorer_compare(list_name(&names_, a), names_.entries[a].attributes, list_name(&names_, b),
                                 names_.entries[b].attributes);
    return order != 0 ? order < 0 : a < b;
}

void explorer_selection::offer(const WCHAR *name, UINT64 len, DWORD attributes)
{
    if (limit_ == 0) {
        left_out_ = true;
        return;
    }
    if (!waiting_)
        waiting_ = (UINT64 *)malloc((size_t)waiting_capacity_ * sizeof(UINT64));
    if (waiting_count_ == waiting_capacity_)
        merge_waiting();
    if (!waiting_ || waiting_count_ == waiting_capacity_ || !list_append_name(&names_, name, len)) {
        left_out_ = true;
        return;
    }
    UINT64 added = names_.entry_count - 1;
    names_.entries[added].attributes = attributes;
    names_.entries[added].icon = PICTURE_NOT_LOOKED_UP;
    if (ranked_count_ == limit_ && !before(added, ranked_[ranked_count_ - 1])) {
        // After the last of a full selection: it goes at once, name and all.
        names_.pool_used = names_.entries[added].name_offset;
        names_.entry_count--;
        left_out_ = true;
        return;
    }
    waiting_[waiting_count_++] = added;
    changed_ = true;
}

// Sorts the waiting items and merges them with the selection, keeping the
// first `limit_`.
void explorer_selection::merge_waiting()
{
    if (waiting_count_ == 0)
        return;
    std::sort(waiting_, waiting_ + waiting_count_, [this](UINT64 a, UINT64 b) { return before(a, b); });
    UINT64 total = ranked_count_ + waiting_count_;
    UINT64 kept = std::min(total, limit_);
    UINT64 *merged = (UINT64 *)malloc((size_t)kept * sizeof(UINT64));
    if (!merged) {
        // Out of memory: the waiting ones are left out, "." stands for them.
        waiting_count_ = 0;
        left_out_ = true;
        return;
    }
    UINT64 r = 0, w = 0;
    for (UINT64 i = 0; i < kept; i++) {
        bool take_waiting = r == ranked_count_ || (w < waiting_count_ && before(waiting_[w], ranked_[r]));
        merged[i] = take_waiting ? waiting_[w++] : ranked_[r++];
    }
    left_out_ = left_out_ || kept < total;
    free(ranked_);
    ranked_ = merged;
    ranked_count_ = kept;
    waiting_count_ = 0;
    compact();
}

// Once the items merged out outnumber those kept, the kept ones move to
// fresh storage, in order, so that memory follows the selection and not
// the folder.  Only right after a merge: nothing waits.
void explorer_selection::compact()
{
    if (names_.entry_count <= 2 * ranked_count_ + waiting_capacity_)
        return;
    qv_item_list fresh = {};
    if (list_copy_entries(&fresh, &names_, ranked_, ranked_count_, UINT64_MAX) != ranked_count_) {
        list_clear(&fresh);
        return;
    }
    list_clear(&names_);
    names_ = fresh;
    for (UINT64 i = 0; i < ranked_count_; i++)
        ranked_[i] = i;
}

void explorer_selection::build(qv_item_list *out, UINT64 icons)
{
    merge_waiting();
    for (UINT64 i = 0; i < ranked_count_ && i < icons; i++) {
        qv_entry *entry = &names_.entries[ranked_[i]];
        if (entry->icon != PICTURE_NOT_LOOKED_UP)
            continue;
        qv_icon_kind kind = qv_icon_type;
        entry->icon = type_picture(list_name(&names_, ranked_[i]), entry->attributes, &kind);
        entry->icon_kind = entry->icon == QV_NO_ICON ? qv_icon_type : kind;
    }
    UINT64 copied = list_copy_entries(out, &names_, ranked_, ranked_count_, icons);
    if (left_out_ || copied < ranked_count_)
        list_append_ansi(out, ".");
    changed_ = false;
}
