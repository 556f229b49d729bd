/*
 * A drive library that fails on request, for the drive host's tests. It
 * behaves until the call that OPSTATION_FAULT names, read from the
 * environment (which a drive host inherits):
 *
 *   OPSTATION_FAULT="FAULT ENTRY [N]"   at the Nth call of ENTRY (default 1)
 *
 *   ENTRY   initialise, terminate, download, upload
 *   FAULT   segv     writes through a null pointer
 *           bus      raises SIGBUS
 *           ill      executes an invalid instruction
 *           fpe      divides an integer by zero
 *           abort    calls abort()
 *           exit     calls exit(0)
 *           _exit    calls _exit(0), skipping exit handlers
 *           hang     never returns (and says so on standard error first)
 *           overrun  writes 4 bytes past the end of the title (initialise)
 *                    or of line 1 (upload)
 *           print    writes to standard output and reads standard input
 *                    in every call, then behaves
 *
 * Built without sanitizers, as an outside library would be, so that a
 * fault is the plain signal it is.
 */
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))

static long calls[4];
static long cycle;

static const char *const kEntries[] = {"initialise", "terminate", "download", "upload"};
enum { INITIALISE, TERMINATE, DOWNLOAD, UPLOAD };

static void fault(const char *name, char *buffer, size_t size) {
    volatile int *volatile nowhere = 0;
    volatile int zero = 0;
    volatile int seven = 7;
    if (strcmp(name, "segv") == 0) *nowhere = 1;
    if (strcmp(name, "bus") == 0) raise(SIGBUS);
    if (strcmp(name, "ill") == 0) __builtin_trap();
    if (strcmp(name, "fpe") == 0) zero = seven / zero;
    if (strcmp(name, "abort") == 0) abort();
    if (strcmp(name, "exit") == 0) exit(0);
    if (strcmp(name, "_exit") == 0) _exit(0);
    if (strcmp(name, "hang") == 0) {
        fputs("the faulty drive hangs\n", stderr);
        for (;;) pause();
    }
    if (strcmp(name, "overrun") == 0 && buffer != NULL) memset(buffer, 'X', size + 4);
}

/* Counts the call, and fails it if it is the one asked for. */
static void enter(int entry, char *buffer, size_t size) {
    const char *request = getenv("OPSTATION_FAULT");
    char name[16] = "";
    char where[16] = "";
    long nth = 1;
    ++calls[entry];
    if (request == NULL || sscanf(request, "%15s %15s %ld", name, where, &nth) < 2) return;
    if (strcmp(name, "print") == 0) {
        printf("the faulty drive prints in %s\n", kEntries[entry]);
        fflush(stdout);
        (void)getchar();
        return;
    }
    if (strcmp(where, kEntries[entry]) == 0 && calls[entry] == nth) fault(name, buffer, size);
}

EXPORT int32_t opstat_initialise(int32_t station, char *title) {
    (void)station;
    enter(INITIALISE, title, 128);
    memcpy(title, "Faulty drive", 12);
    return 0;
}

EXPORT int32_t opstat_terminate(int32_t station) {
    (void)station;
    enter(TERMINATE, NULL, 0);
    return 0;
}

EXPORT int32_t opstat_download(int16_t up, int16_t down, int16_t esc, int16_t menu, int16_t dir, int16_t jog,
                               int16_t local, int16_t run, int16_t stop, int16_t disp) {
    (void)up, (void)down, (void)esc, (void)menu, (void)dir, (void)jog, (void)local, (void)run, (void)stop, (void)disp;
    ++cycle;
    enter(DOWNLOAD, NULL, 0);
    return 0;
}

EXPORT int16_t opstat_upload(int16_t *health_on, int16_t *health_flash, int16_t *fwd_on, int16_t *fwd_flash,
                             int16_t *rev_on, int16_t *rev_flash, int16_t *run_on, int16_t *run_flash, int16_t *stop_on,
                             int16_t *stop_flash, int16_t *seq_on, int16_t *seq_flash, int16_t *ref_on,
                             int16_t *ref_flash, char *line1, char *line2) {
    (void)health_flash, (void)fwd_on, (void)fwd_flash, (void)rev_on, (void)rev_flash, (void)run_on, (void)run_flash;
    (void)stop_on, (void)stop_flash, (void)seq_on, (void)seq_flash, (void)ref_on, (void)ref_flash;
    enter(UPLOAD, line1, 20);
    *health_on = -1;
    memcpy(line1, "FAULTY", 6);
    snprintf(line2, 21, "cycle %ld", cycle);
    return 0;
}
