/* Planted into a box on purpose (LD_PRELOAD, by the traced box's test):
 * writes into the folder KEL_PLANT_DIR names, outside the box root, once
 * as the program starts and once from the first thread of the running box
 * that names itself, so that the trace of the run must show both, and the
 * kernel's confinement must stop the second. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void plant(const char* name)
{
    const char* dir = getenv("KEL_PLANT_DIR");
    char path[4096];
    if (!dir || snprintf(path, sizeof path, "%s/%s", dir, name) >= (int)sizeof path)
        return;
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        if (write(fd, "planted\n", 8) != 8)
            unlink(path);
        close(fd);
    }
}

__attribute__((constructor)) static void plantAtStart(void)
{
    plant("at-start");
}

/* Every thread of the box names itself first thing; the GUI thread keeps
 * the program's name. */
int pthread_setname_np(pthread_t thread, const char* name)
{
    static int planted;
    int (*real)(pthread_t, const char*) = (int (*)(pthread_t, const char*))dlsym(RTLD_NEXT, "pthread_setname_np");
    if (strcmp(name, "kelR54N") != 0 && !__atomic_exchange_n(&planted, 1, __ATOMIC_SEQ_CST))
        plant("from-a-thread");
    return real ? real(thread, name) : 0;
}
