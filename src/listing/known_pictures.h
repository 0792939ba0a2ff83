// What an earlier listing of a folder can still tell a new one: whether the
// folder holds the same items, and the pictures of those that did not
// change, so that listing a folder again looks up only what is new.
#pragma once
#include <windows.h>
#include "common/qv_item_list.h"

// Whether two listings hold the same entries: the same names in the same
// order, with the same attributes as far as they decide how an item shows.
bool same_items(const qv_item_list *a, const qv_item_list *b);

// Gives entry `i` of `list` the own picture that `known` found for an item
// of the same name and attributes, if it has one; returns whether it did.
// `cursor` (0 at first) makes a walk in the same order cost one comparison
// an entry.
bool reuse_known_picture(qv_item_list *list, UINT64 i, const qv_item_list *known, UINT64 *cursor);
