// The object's own listing, made on the calling thread.
#include "extension/list_directory.h"
#include "extension/qv_shellex.h"
#include "listing/folder_listing.h"

void list_directory(qv_shellex *ext, const WCHAR *dir)
{
    qv_listing_rules rules = listing_rules(&ext->config, ext->is_lnk);
    list_folder(&ext->list, dir, &rules, NULL);
}
