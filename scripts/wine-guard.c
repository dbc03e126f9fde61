/* Loaded into every Wine process that scripts/wine-run starts (LD_PRELOAD),
 * the Wine server among them, which is where Wine opens the device behind a
 * COM port. Refuses to open the machine's real serial devices and writes
 * every such attempt to $KPX_WINE_GUARD_LOG, so that no test can reach them
 * (on these machines ttyS0 is the system console) and the test run can tell
 * that none tried. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

typedef int (*open_fn)(const char*, int, ...);
typedef int (*openat_fn)(int, const char*, int, ...);

/* The devices, and $KPX_WINE_GUARD_PROBE, a path of the test run's own with
 * which it checks that the guard is in force in the process that opens. */
static int forbidden(const char* path)
{
    static const char* const prefixes[] = {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM", "/dev/serial/"};
    const char* probe = getenv("KPX_WINE_GUARD_PROBE");
    char resolved[4096];
    const char* name = path;
    size_t i;
    if (!path)
        return 0;
    /* A link (Wine's dosdevices/com5 -> /dev/ttyS0) counts as where it leads. */
    if (realpath(path, resolved))
        name = resolved;
    for (i = 0; i < sizeof prefixes / sizeof prefixes[0]; ++i)
        if (strncmp(name, prefixes[i], strlen(prefixes[i])) == 0)
            return 1;
    return probe && *probe && strcmp(name, probe) == 0;
}

static int refuse(const char* path)
{
    char resolved[4096];
    const char* log = getenv("KPX_WINE_GUARD_LOG");
    if (log && *log) {
        open_fn real_open = (open_fn)dlsym(RTLD_NEXT, "open");
        int fd = real_open ? real_open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644) : -1;
        if (fd >= 0) {
            char line[8400];
            int length = snprintf(line, sizeof line, "pid %ld refused %s (%s)\n", (long)getpid(), path,
                                  realpath(path, resolved) ? resolved : path);
            if (length > 0)
                (void)!write(fd, line, (size_t)length < sizeof line ? (size_t)length : sizeof line - 1);
            close(fd);
        }
    }
    errno = EACCES;
    return -1;
}

static mode_t mode_of(int flags, va_list args)
{
    return (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(args, int) : 0;
}

#define KPX_GUARD_OPEN(name)                                               \
    int name(const char* path, int flags, ...)                            \
    {                                                                      \
        static open_fn real;                                               \
        va_list args;                                                      \
        mode_t mode;                                                       \
        va_start(args, flags);                                             \
        mode = mode_of(flags, args);                                       \
        va_end(args);                                                      \
        if (forbidden(path))                                               \
            return refuse(path);                                           \
        if (!real)                                                         \
            real = (open_fn)dlsym(RTLD_NEXT, #name);                       \
        return real(path, flags, mode);                                    \
    }

#define KPX_GUARD_OPENAT(name)                                             \
    int name(int dir, const char* path, int flags, ...)                   \
    {                                                                      \
        static openat_fn real;                                             \
        va_list args;                                                      \
        mode_t mode;                                                       \
        va_start(args, flags);                                             \
        mode = mode_of(flags, args);                                       \
        va_end(args);                                                      \
        if (path && (path[0] == '/' || dir == AT_FDCWD) && forbidden(path)) \
            return refuse(path);                                           \
        if (!real)                                                         \
            real = (openat_fn)dlsym(RTLD_NEXT, #name);                     \
        return real(dir, path, flags, mode);                               \
    }

KPX_GUARD_OPEN(open)
KPX_GUARD_OPEN(open64)
KPX_GUARD_OPEN(__open_2)
KPX_GUARD_OPEN(__open64_2)
KPX_GUARD_OPENAT(openat)
KPX_GUARD_OPENAT(openat64)
KPX_GUARD_OPENAT(__openat_2)
KPX_GUARD_OPENAT(__openat64_2)
