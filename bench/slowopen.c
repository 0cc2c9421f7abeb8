/* slowopen.c - an LD_PRELOAD shim that makes opening files slow, as on
 * network storage where every open is a round trip to the server.
 *
 *   cc -O2 -shared -fPIC -o slowopen.so bench/slowopen.c -ldl
 *   SLOWOPEN_PREFIX=/tmp/tree SLOWOPEN_USEC=1000 LD_PRELOAD=./slowopen.so velquin --batch /tmp/tree ...
 *
 * Every open(), open64(), openat() and openat64() of a path that begins with
 * SLOWOPEN_PREFIX sleeps SLOWOPEN_USEC microseconds (default 1000) before it
 * opens the file; other paths, and relative openat() calls, are not delayed.
 * The sleep blocks only the calling thread, as a real round trip does.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static const char *prefix;
static size_t prefix_len;
static long delay_us = 1000;

__attribute__((constructor)) static void init(void)
{
    prefix = getenv("SLOWOPEN_PREFIX");
    prefix_len = prefix ? strlen(prefix) : 0;
    const char *d = getenv("SLOWOPEN_USEC");
    if (d)
        delay_us = atol(d);
}

static void maybe_sleep(const char *path)
{
    if (!prefix_len || !path || strncmp(path, prefix, prefix_len) != 0)
        return;
    struct timespec t = {delay_us / 1000000, (delay_us % 1000000) * 1000};
    while (nanosleep(&t, &t) != 0) {
    }
}

static mode_t mode_of(int flags, va_list ap)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(ap, int) : 0;
}

typedef int (*open_fn)(const char *, int, ...);
typedef int (*openat_fn)(int, const char *, int, ...);

int open(const char *path, int flags, ...)
{
    static open_fn real;
    if (!real)
        real = (open_fn)dlsym(RTLD_NEXT, "open");
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_of(flags, ap);
    va_end(ap);
    maybe_sleep(path);
    return real(path, flags, mode);
}

int openat(int dirfd, const char *path, int flags, ...)
{
    static openat_fn real;
    if (!real)
        real = (openat_fn)dlsym(RTLD_NEXT, "openat");
    va_list ap;
    va_start(ap, flags);
    mode_t mode = mode_of(flags, ap);
    va_end(ap);
    maybe_sleep(path);
    return real(dirfd, path, flags, mode);
}

/* On 64-bit Linux the *64 names are the same calls. */
int open64(const char *path, int flags, ...) __attribute__((alias("open")));
int openat64(int dirfd, const char *path, int flags, ...) __attribute__((alias("openat")));
