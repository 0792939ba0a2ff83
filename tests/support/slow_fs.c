/* slowfs: a passthrough FUSE file system whose every operation can be made
 * slow, or held until released, so that tests can see how code behaves on a
 * slow or hanging drive.  A native Linux program (libfuse3), not part of the
 * Windows build.
 *
 *   slowfs BACKING MOUNTPOINT [fuse options]
 *
 * Every operation on a normal path counts once, waits while blocking is on
 * (until it is turned off or the time it was turned on for has passed), then
 * sleeps the delay, and only then touches BACKING.  The file /.slowfs-control
 * at the root is not listed and is never counted, held or delayed: reading it
 * gives "ops N", "delay MS" and "block MS" (the time blocking has left, 0 when
 * off), one a line; writing "delay MS", "block MS" (0: off, releasing every
 * waiting operation) or "reset" (the count back to 0) sets them, and
 * "block-at PATH MS" turns blocking on for MS when the first operation on
 * PATH (as "/name/sub") or under it arrives, that operation held too. */
#define FUSE_USE_VERSION 31
#define _GNU_SOURCE
#include <fuse.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#define CONTROL "/.slowfs-control"

static const char *backing;
static atomic_long op_count;
static atomic_long delay_ms;
static pthread_mutex_t block_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t block_changed;
static int blocking;                 /* guarded by block_lock */
static struct timespec block_until;  /* CLOCK_MONOTONIC; guarded by block_lock */
static char armed_path[PATH_MAX];    /* block-at; guarded by block_lock */
static long armed_ms;                /* 0: not armed; guarded by block_lock */

/* `path` is null for a file used through its handle after it was unlinked. */
static int is_control(const char *path) { return path && strcmp(path, CONTROL) == 0; }

static long ms_until(const struct timespec *t)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    long ms = (t->tv_sec - now.tv_sec) * 1000 + (t->tv_nsec - now.tv_nsec) / 1000000;
    return ms > 0 ? ms : 0;
}

/* The slowness, applied at the start of every operation on a normal path.
 * The count comes first, so that a test can see an operation arrive while
 * it is held. */
static void start_block_locked(long ms);

static int under_armed_path(const char *path)
{
    size_t len = strlen(armed_path);
    return path && strncmp(path, armed_path, len) == 0 && (path[len] == 0 || path[len] == '/');
}

static void slow_down(const char *path)
{
    atomic_fetch_add(&op_count, 1);
    pthread_mutex_lock(&block_lock);
    if (armed_ms > 0 && under_armed_path(path)) {
        start_block_locked(armed_ms);
        armed_ms = 0;
    }
    while (blocking && ms_until(&block_until) > 0)
        pthread_cond_timedwait(&block_changed, &block_lock, &block_until);
    pthread_mutex_unlock(&block_lock);
    long ms = atomic_load(&delay_ms);
    if (ms > 0) {
        struct timespec d = {ms / 1000, (ms % 1000) * 1000000};
        while (nanosleep(&d, &d) != 0 && errno == EINTR) {}
    }
}

static void start_block_locked(long ms)
{
    blocking = ms > 0;
    clock_gettime(CLOCK_MONOTONIC, &block_until);
    block_until.tv_sec += ms / 1000;
    block_until.tv_nsec += (ms % 1000) * 1000000;
    if (block_until.tv_nsec >= 1000000000) {
        block_until.tv_sec++;
        block_until.tv_nsec -= 1000000000;
    }
    pthread_cond_broadcast(&block_changed);
}

static void set_block(long ms)
{
    pthread_mutex_lock(&block_lock);
    start_block_locked(ms);
    pthread_mutex_unlock(&block_lock);
}

static void arm_block(const char *path, long ms)
{
    pthread_mutex_lock(&block_lock);
    snprintf(armed_path, sizeof armed_path, "%s", path);
    armed_ms = ms;
    pthread_mutex_unlock(&block_lock);
}

static int control_text(char *text, size_t size)
{
    pthread_mutex_lock(&block_lock);
    long left = blocking ? ms_until(&block_until) : 0;
    pthread_mutex_unlock(&block_lock);
    return snprintf(text, size, "ops %ld\ndelay %ld\nblock %ld\n",
                    atomic_load(&op_count), atomic_load(&delay_ms), left);
}

/* One command a line.  A line that is no command fails the write (EINVAL),
 * after the lines before it have taken effect. */
static int control_write(const char *data, size_t size)
{
    char text[256];
    if (size >= sizeof text)
        return -EINVAL;
    memcpy(text, data, size);
    text[size] = 0;
    for (char *save, *line = strtok_r(text, "\r\n", &save); line; line = strtok_r(NULL, "\r\n", &save)) {
        char path[201];
        long value;
        char extra;
        if (sscanf(line, "delay %ld %c", &value, &extra) == 1 && value >= 0)
            atomic_store(&delay_ms, value);
        else if (sscanf(line, "block %ld %c", &value, &extra) == 1 && value >= 0)
            set_block(value);
        else if (sscanf(line, "block-at %200s %ld %c", path, &value, &extra) == 2 && path[0] == '/' && value > 0)
            arm_block(path, value);
        else if (strcmp(line, "reset") == 0)
            atomic_store(&op_count, 0);
        else
            return -EINVAL;
    }
    return (int)size;
}

/* The backing path of `path`, after the slowness; normal paths only.  The
 * control file refuses whatever it does not handle itself. */
#define BACKING_PATH(full, path)                                   \
    char full[PATH_MAX];                                           \
    if (is_control(path))                                          \
        return -EPERM;                                             \
    slow_down(path);                                               \
    if (snprintf(full, sizeof full, "%s%s", backing, path ? path : "") >= (int)sizeof full) \
        return -ENAMETOOLONG;

#define RESULT(call) ((call) == -1 ? -errno : 0)

static void *sf_init(struct fuse_conn_info *conn, struct fuse_config *cfg)
{
    /* As on a network drive, a held lookup or listing in a folder should not
     * hold the others in that folder.  (libfuse 3.14, Debian 12's, never
     * passes this on, so there the kernel lets one at a time into a folder.) */
    conn->want |= conn->capable & FUSE_CAP_PARALLEL_DIROPS;
    /* Nothing is cached in the kernel: every look at the drive reaches us, so
     * it is slow every time, and files made in BACKING show at once. */
    cfg->entry_timeout = cfg->attr_timeout = cfg->negative_timeout = 0;
    /* Unlink at once even while open, as Wine's server may close after
     * deleting; a hidden ".fuse_hidden" file would keep folders from going. */
    cfg->hard_remove = 1;
    cfg->use_ino = 1;
    return NULL;
}

static int sf_getattr(const char *path, struct stat *st, struct fuse_file_info *fi)
{
    if (is_control(path)) {
        char text[256];
        memset(st, 0, sizeof *st);
        st->st_mode = S_IFREG | 0666;
        st->st_nlink = 1;
        st->st_size = control_text(text, sizeof text);
        st->st_mtime = st->st_ctime = st->st_atime = time(NULL);
        return 0;
    }
    BACKING_PATH(full, path);
    return RESULT(fi ? fstat(fi->fh, st) : lstat(full, st));
}

static int sf_access(const char *path, int mask)
{
    if (is_control(path))
        return 0;
    BACKING_PATH(full, path);
    return RESULT(access(full, mask));
}

static int sf_readlink(const char *path, char *buf, size_t size)
{
    BACKING_PATH(full, path);
    ssize_t n = readlink(full, buf, size - 1);
    if (n == -1)
        return -errno;
    buf[n] = 0;
    return 0;
}

static int sf_opendir(const char *path, struct fuse_file_info *fi)
{
    BACKING_PATH(full, path);
    DIR *dir = opendir(full);
    if (!dir)
        return -errno;
    fi->fh = (uintptr_t)dir;
    return 0;
}

static int sf_readdir(const char *path, void *buf, fuse_fill_dir_t fill, off_t offset,
                      struct fuse_file_info *fi, enum fuse_readdir_flags flags)
{
    (void)offset, (void)flags;
    BACKING_PATH(full, path);
    DIR *dir = (DIR *)(uintptr_t)fi->fh;
    rewinddir(dir);
    for (struct dirent *e; (e = readdir(dir)) != NULL;) {
        if (path && strcmp(path, "/") == 0 && strcmp(e->d_name, CONTROL + 1) == 0)
            continue;
        struct stat st = {.st_ino = e->d_ino, .st_mode = (mode_t)DTTOIF(e->d_type)};
        if (fill(buf, e->d_name, &st, 0, 0))
            break;
    }
    return 0;
}

static int sf_releasedir(const char *path, struct fuse_file_info *fi)
{
    BACKING_PATH(full, path);
    (void)full;
    closedir((DIR *)(uintptr_t)fi->fh);
    return 0;
}

static int sf_mkdir(const char *path, mode_t mode)
{
    BACKING_PATH(full, path);
    return RESULT(mkdir(full, mode));
}

static int sf_unlink(const char *path)
{
    BACKING_PATH(full, path);
    return RESULT(unlink(full));
}

static int sf_rmdir(const char *path)
{
    BACKING_PATH(full, path);
    return RESULT(rmdir(full));
}

static int sf_symlink(const char *target, const char *path)
{
    BACKING_PATH(full, path);
    return RESULT(symlink(target, full));
}

static int sf_rename(const char *from, const char *to, unsigned int flags)
{
    if (is_control(to))
        return -EPERM;
    BACKING_PATH(full_from, from);
    char full_to[PATH_MAX];
    if (snprintf(full_to, sizeof full_to, "%s%s", backing, to) >= (int)sizeof full_to)
        return -ENAMETOOLONG;
    return RESULT(renameat2(AT_FDCWD, full_from, AT_FDCWD, full_to, flags));
}

static int sf_link(const char *from, const char *to)
{
    if (is_control(to))
        return -EPERM;
    BACKING_PATH(full_from, from);
    char full_to[PATH_MAX];
    if (snprintf(full_to, sizeof full_to, "%s%s", backing, to) >= (int)sizeof full_to)
        return -ENAMETOOLONG;
    return RESULT(link(full_from, full_to));
}

/* Wine may change the control file's mode, times or size as for any file it
 * opens for writing: those succeed and change nothing. */
static int sf_chmod(const char *path, mode_t mode, struct fuse_file_info *fi)
{
    if (is_control(path))
        return 0;
    BACKING_PATH(full, path);
    return RESULT(fi ? fchmod(fi->fh, mode) : chmod(full, mode));
}

static int sf_chown(const char *path, uid_t uid, gid_t gid, struct fuse_file_info *fi)
{
    if (is_control(path))
        return 0;
    BACKING_PATH(full, path);
    return RESULT(fi ? fchown(fi->fh, uid, gid) : lchown(full, uid, gid));
}

static int sf_truncate(const char *path, off_t size, struct fuse_file_info *fi)
{
    if (is_control(path))
        return 0;
    BACKING_PATH(full, path);
    return RESULT(fi ? ftruncate(fi->fh, size) : truncate(full, size));
}

static int sf_utimens(const char *path, const struct timespec tv[2], struct fuse_file_info *fi)
{
    if (is_control(path))
        return 0;
    BACKING_PATH(full, path);
    return RESULT(fi ? futimens(fi->fh, tv) : utimensat(AT_FDCWD, full, tv, AT_SYMLINK_NOFOLLOW));
}

static int sf_open(const char *path, struct fuse_file_info *fi)
{
    if (is_control(path)) {
        /* Its size changes with every read: the kernel must not cache it. */
        fi->direct_io = 1;
        return 0;
    }
    BACKING_PATH(full, path);
    int fd = open(full, fi->flags);
    if (fd == -1)
        return -errno;
    fi->fh = fd;
    return 0;
}

static int sf_create(const char *path, mode_t mode, struct fuse_file_info *fi)
{
    if (is_control(path))
        return sf_open(path, fi);
    BACKING_PATH(full, path);
    int fd = open(full, fi->flags | O_CREAT, mode);
    if (fd == -1)
        return -errno;
    fi->fh = fd;
    return 0;
}

static int sf_read(const char *path, char *buf, size_t size, off_t offset, struct fuse_file_info *fi)
{
    if (is_control(path)) {
        char text[256];
        int length = control_text(text, sizeof text);
        if (offset >= length)
            return 0;
        size_t n = (size_t)(length - offset) < size ? (size_t)(length - offset) : size;
        memcpy(buf, text + offset, n);
        return (int)n;
    }
    BACKING_PATH(full, path);
    (void)full;
    ssize_t n = pread(fi->fh, buf, size, offset);
    return n == -1 ? -errno : (int)n;
}

static int sf_write(const char *path, const char *buf, size_t size, off_t offset, struct fuse_file_info *fi)
{
    if (is_control(path))
        return control_write(buf, size);
    BACKING_PATH(full, path);
    (void)full;
    ssize_t n = pwrite(fi->fh, buf, size, offset);
    return n == -1 ? -errno : (int)n;
}

static int sf_fsync(const char *path, int datasync, struct fuse_file_info *fi)
{
    if (is_control(path))
        return 0;
    BACKING_PATH(full, path);
    (void)full;
    return RESULT(datasync ? fdatasync(fi->fh) : fsync(fi->fh));
}

static int sf_fallocate(const char *path, int mode, off_t offset, off_t length, struct fuse_file_info *fi)
{
    BACKING_PATH(full, path);
    (void)full;
    return RESULT(fallocate(fi->fh, mode, offset, length));
}

static int sf_release(const char *path, struct fuse_file_info *fi)
{
    if (is_control(path))
        return 0;
    BACKING_PATH(full, path);
    (void)full;
    close(fi->fh);
    return 0;
}

static int sf_statfs(const char *path, struct statvfs *st)
{
    /* Wine's server asks this of every file it opens, the control file too. */
    if (is_control(path))
        return RESULT(statvfs(backing, st));
    BACKING_PATH(full, path);
    return RESULT(statvfs(full, st));
}

/* Wine keeps DOS attributes in the extended attribute user.DOSATTRIB. */
static int sf_setxattr(const char *path, const char *name, const char *value, size_t size, int flags)
{
    if (is_control(path))
        return -ENOTSUP;
    BACKING_PATH(full, path);
    return RESULT(lsetxattr(full, name, value, size, flags));
}

static int sf_getxattr(const char *path, const char *name, char *value, size_t size)
{
    if (is_control(path))
        return -ENODATA;
    BACKING_PATH(full, path);
    ssize_t n = lgetxattr(full, name, value, size);
    return n == -1 ? -errno : (int)n;
}

static int sf_listxattr(const char *path, char *list, size_t size)
{
    if (is_control(path))
        return 0;
    BACKING_PATH(full, path);
    ssize_t n = llistxattr(full, list, size);
    return n == -1 ? -errno : (int)n;
}

static int sf_removexattr(const char *path, const char *name)
{
    if (is_control(path))
        return -ENOTSUP;
    BACKING_PATH(full, path);
    return RESULT(lremovexattr(full, name));
}

static const struct fuse_operations operations = {
    .init = sf_init,
    .getattr = sf_getattr,
    .access = sf_access,
    .readlink = sf_readlink,
    .opendir = sf_opendir,
    .readdir = sf_readdir,
    .releasedir = sf_releasedir,
    .mkdir = sf_mkdir,
    .unlink = sf_unlink,
    .rmdir = sf_rmdir,
    .symlink = sf_symlink,
    .rename = sf_rename,
    .link = sf_link,
    .chmod = sf_chmod,
    .chown = sf_chown,
    .truncate = sf_truncate,
    .utimens = sf_utimens,
    .open = sf_open,
    .create = sf_create,
    .read = sf_read,
    .write = sf_write,
    .fsync = sf_fsync,
    .fallocate = sf_fallocate,
    .release = sf_release,
    .statfs = sf_statfs,
    .setxattr = sf_setxattr,
    .getxattr = sf_getxattr,
    .listxattr = sf_listxattr,
    .removexattr = sf_removexattr,
};

int main(int argc, char **argv)
{
    if (argc < 3 || argv[1][0] != '/') {
        fprintf(stderr, "usage: %s BACKING MOUNTPOINT [fuse options]\n"
                        "BACKING must be an absolute path.\n", argv[0]);
        return 2;
    }
    backing = argv[1];
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&block_changed, &attr);
    /* In the foreground (-f), end, and so unmount, when the process that
     * started us ends, even if it was killed before it could unmount. */
    prctl(PR_SET_PDEATHSIG, SIGTERM);

    /* Each held operation keeps a worker thread: allow many more than the
     * default ten, so that the control file can still be served. */
    char *args[argc + 2];
    int n = 0;
    args[n++] = argv[0];
    args[n++] = "-o";
    args[n++] = "max_threads=256";
    for (int i = 2; i < argc; i++)
        args[n++] = argv[i];
    args[n] = NULL;
    return fuse_main(n, args, &operations, NULL);
}
