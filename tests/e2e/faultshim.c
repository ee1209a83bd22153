// SPDX-License-Identifier: GPL-3.0-or-later
/* Fault injection at the file layer for the end-to-end tests, loaded into the real program with
 * LD_PRELOAD. It makes one kind of call fail on the files whose path contains a given text:
 *
 *   FAULTSHIM_MATCH  part of the path that selects the files (for write and fsync: the path the
 *                    descriptor was opened with; for rename: the source path)
 *   FAULTSHIM_UNNAMED optional: set to 1, write and fsync also fail on files without a name
 *                    (O_TMPFILE), which the program writes before it names them
 *   FAULTSHIM_CALL   write, fsync or rename
 *   FAULTSHIM_ERRNO  the error number the call fails with; 0 makes a write store nothing and
 *                    return 0, as a device that takes no more bytes would
 *   FAULTSHIM_ARMED  optional: a path; faults are injected only while something exists there,
 *                    so a test can take the fault away without restarting the program
 *   FAULTSHIM_LOG    optional: a file that gets one line per injected fault, so a test can tell
 *                    that its fault was really hit and not some other failure
 *
 * Without FAULTSHIM_MATCH and FAULTSHIM_CALL every call goes straight through.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef ssize_t (*write_fn)(int, const void*, size_t);
typedef int (*fsync_fn)(int);
typedef int (*rename_fn)(const char*, const char*);

static write_fn real_write(void)
{
    static write_fn fn;
    if (!fn)
        fn = (write_fn)dlsym(RTLD_NEXT, "write");
    return fn;
}

static int armed(const char* call)
{
    const char* wanted = getenv("FAULTSHIM_CALL");
    return wanted && getenv("FAULTSHIM_MATCH") && strcmp(wanted, call) == 0;
}

static int still_armed(void)
{
    const char* flag = getenv("FAULTSHIM_ARMED");
    if (!flag)
        return 1;
    const int saved = errno;
    const int exists = access(flag, F_OK) == 0;
    errno = saved;
    return exists;
}

static int path_matches(const char* path)
{
    const char* match = getenv("FAULTSHIM_MATCH");
    return match && *match && path && strstr(path, match) != NULL;
}

/* The kernel shows a file without a name as "<folder>/#<inode> (deleted)". */
static int unnamed(const char* path)
{
    static const char deleted[] = " (deleted)";
    const char* slash = strrchr(path, '/');
    const size_t len = strlen(path);
    return slash && slash[1] == '#' && len > sizeof deleted
        && strcmp(path + len - (sizeof deleted - 1), deleted) == 0;
}

static int fd_matches(int fd)
{
    char link[64];
    char path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return 0;
    path[n] = '\0';
    const char* also_unnamed = getenv("FAULTSHIM_UNNAMED");
    return path_matches(path) || (also_unnamed && strcmp(also_unnamed, "1") == 0 && unnamed(path));
}

static int fault_errno(void)
{
    const char* text = getenv("FAULTSHIM_ERRNO");
    return text ? atoi(text) : EIO;
}

static void note(const char* call, const char* what)
{
    const char* log = getenv("FAULTSHIM_LOG");
    if (!log)
        return;
    const int saved = errno;
    const int fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        char line[4200];
        const int len = snprintf(line, sizeof line, "%s %d %s\n", call, fault_errno(), what);
        if (len > 0)
            real_write()(fd, line, (size_t)len < sizeof line ? (size_t)len : sizeof line - 1);
        close(fd);
    }
    errno = saved;
}

static void describe_fd(int fd, char* out, size_t size)
{
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, out, size - 1);
    out[n > 0 ? n : 0] = '\0';
}

ssize_t write(int fd, const void* buf, size_t count)
{
    if (armed("write") && fd_matches(fd) && still_armed()) {
        char path[4096];
        describe_fd(fd, path, sizeof path);
        note("write", path);
        const int err = fault_errno();
        if (err == 0)
            return 0;
        errno = err;
        return -1;
    }
    return real_write()(fd, buf, count);
}

int fsync(int fd)
{
    static fsync_fn real;
    if (!real)
        real = (fsync_fn)dlsym(RTLD_NEXT, "fsync");
    if (armed("fsync") && fd_matches(fd) && still_armed()) {
        char path[4096];
        describe_fd(fd, path, sizeof path);
        note("fsync", path);
        errno = fault_errno();
        return -1;
    }
    return real(fd);
}

int rename(const char* from, const char* to)
{
    static rename_fn real;
    if (!real)
        real = (rename_fn)dlsym(RTLD_NEXT, "rename");
    if (armed("rename") && path_matches(from) && still_armed()) {
        note("rename", from);
        errno = fault_errno();
        return -1;
    }
    return real(from, to);
}
