// One menu bitmap per distinct icon of a right-click's menus.
#include "menu/menu_pictures.h"
#include <commctrl.h>
#include <commoncontrols.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>
#include "common/qv_item_list.h"
#include "common/room_for_one.h"
#include "listing/folder_listing.h"
#include "menu/menu_bitmap.h"

// IID_IImageList, without pulling in every GUID of the header.
static const IID image_list_iid = {0x46eb5926, 0x582e, 0x4017, {0x9f, 0xdf, 0xe8, 0x99, 0x8d, 0xaa, 0x09, 0x50}};

// The small icon `icon` of the system image list as a menu bitmap, or null.
static HBITMAP make_picture(int icon)
{
    IImageList *list = NULL;
    if (FAILED(SHGetImageList(SHIL_SMALL, image_list_iid, (void **)&list)) || !list)
        return NULL;
    HICON handle = NULL;
    HBITMAP bitmap = NULL;
    if (SUCCEEDED(list->GetIcon(icon, ILD_NORMAL, &handle)) && handle) {
        bitmap = make_menu_bitmap(handle);
        DestroyIcon(handle);
    }
    list->Release();
    return bitmap;
}

HBITMAP picture_of(qv_menu_pictures *pictures, int icon)
{
    if (icon == QV_NO_ICON)
        return NULL;
    for (UINT i = 0; i < pictures->count; i++) {
        if (pictures->made[i].icon == icon)
            return pictures->made[i].bitmap;
    }
    if (pictures->count >= QV_MAX_PICTURES)
        return NULL;
    if (!room_for_one(&pictures->made, pictures->count, &pictures->capacity))
        return NULL;
    // A failed conversion is remembered too, so it is not tried again.
    qv_picture &made = pictures->made[pictures->count++];
    made.icon = icon;
    made.bitmap = make_picture(icon);
    return made.bitmap;
}

void pictures_clear(qv_menu_pictures *pictures)
{
    for (UINT i = 0; i < pictures->count; i++)
        DeleteObject(pictures->made[i].bitmap);
    free(pictures->made);
    memset(pictures, 0, sizeof(*pictures));
}
