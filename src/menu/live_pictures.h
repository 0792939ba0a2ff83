// Pictures that arrive while a menu is open: the top menu's entries shown
// with their type's picture get their own as the worker of the listing the
// session holds finds them, checked from a timer of the menu's thread (the
// menu loop dispatches it).
#pragma once
#include <windows.h>

struct qv_menu_session;

// The session's menu has opened on the calling thread: watches its held
// listing, if any, until live_pictures_stop or until no picture is to come.
void live_pictures_start(qv_menu_session *session);
// The menu closes or the session ends: no more watching.  From another
// thread than the menu's, the timer ends at its next tick, as it then finds
// no session of its own.
void live_pictures_stop(qv_menu_session *session);
