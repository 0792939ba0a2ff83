// Which volume answers for a path: the server of a share, whatever the share
// and however it is reached (a UNC path, a drive letter mapped to it), and
// for a local path the volume that holds it after links.  Workers are
// counted per volume (job_scheduler.h), so that one dead server or device
// holds only its own.  This file owns what workers have found out: which
// letters are mapped to which server, and where links lead.
#pragma once
#include <windows.h>
#include "listing/folder_path.h"

// How long a found answer is remembered, in milliseconds (about a minute).
#define QV_VOLUME_MEMORY_MS 60000

// Copies into `out` (QV_FOLDER_FORM_CHARS characters) the volume of `path`
// as far as it is known without asking anything: "\\server" for a share's
// path; for a path under a letter or a link whose volume a worker found,
// that volume; else the path's root ("C:\").  Reads nothing.
void volume_key(const WCHAR *path, WCHAR *out);

// For a worker, before the first access to `path`: the server a remote drive
// letter is mapped to, asked of the network provider (which knows it
// without reaching the server).  Remembered for volume_key.  Copies the
// volume into `out` and returns whether it differs from the path's root.
bool find_mapped_volume(const WCHAR *path, WCHAR *out);

// Whether `path` lies on a local disk (a fixed one, or a stick), as its
// letter says (asked at most once a minute).
bool on_local_disk(const WCHAR *path);

// For a worker that opened `path` (`handle`, a folder): where the handle
// actually leads, after links and mounted folders.  When that is another
// volume than the path's own, it is remembered for volume_key, for the path
// and everything under it.
void remember_opened_volume(const WCHAR *path, HANDLE handle);

// Forgets every answer (the module is unloaded; tests).
void volume_answers_forget();
