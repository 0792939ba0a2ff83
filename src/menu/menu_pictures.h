// The pictures of one right-click's menus: one menu bitmap per distinct
// icon of the system image list, shared by every entry that shows it and
// deleted once, with the menus' session.
#pragma once
#include <windows.h>

struct qv_picture {
    int icon;        // index in the system image list of small icons
    HBITMAP bitmap;  // null when no picture could be made of it
};

struct qv_menu_pictures {
    qv_picture *made;  // heap; `count` of them
    UINT count;
    UINT capacity;
};

// The picture of `icon` (QV_NO_ICON: none), made the first time it is asked
// for.  Null when there is none, or when QV_MAX_PICTURES distinct pictures
// exist already.
HBITMAP picture_of(qv_menu_pictures *pictures, int icon);
// Deletes every picture made.
void pictures_clear(qv_menu_pictures *pictures);
