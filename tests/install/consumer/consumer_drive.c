/* A minimal drive: it counts exchange cycles and shows the count. At the
 * fifth cycle it makes the file named by CONSUMER_DRIVE_RUNNING, and when
 * the panel closes it, it writes the count into the file named by
 * CONSUMER_DRIVE_LOG, so a test can tell that cycles ran and that the panel
 * stopped the library. */
#include <opstation/drive_api.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static long cycles;
static int initialised;

int32_t OPSTAT_CALL opstat_initialise(int32_t station, char *title) {
    (void)station;
    strcpy(title, "Consumer drive");
    initialised = 1;
    return 0;
}

int32_t OPSTAT_CALL opstat_terminate(int32_t station) {
    const char *path = getenv("CONSUMER_DRIVE_LOG");
    (void)station;
    if (path != NULL) {
        FILE *log = fopen(path, "w");
        if (log != NULL) {
            fprintf(log, "initialised %d\ncycles %ld\nterminated 1\n", initialised, cycles);
            fclose(log);
        }
    }
    return 0;
}

static void markRunning(void) {
    const char *path = getenv("CONSUMER_DRIVE_RUNNING");
    FILE *mark = path != NULL ? fopen(path, "w") : NULL;
    if (mark != NULL) fclose(mark);
}

int32_t OPSTAT_CALL opstat_download(int16_t up, int16_t down, int16_t esc, int16_t menu, int16_t dir, int16_t jog,
                                    int16_t local, int16_t run, int16_t stop, int16_t disp) {
    (void)up, (void)down, (void)esc, (void)menu, (void)dir, (void)jog, (void)local, (void)run, (void)stop,
        (void)disp;
    if (++cycles == 5) markRunning();
    return 0;
}

int16_t OPSTAT_CALL opstat_upload(int16_t *health_on, int16_t *health_flash, int16_t *fwd_on, int16_t *fwd_flash,
                                  int16_t *rev_on, int16_t *rev_flash, int16_t *run_on, int16_t *run_flash,
                                  int16_t *stop_on, int16_t *stop_flash, int16_t *seq_on, int16_t *seq_flash,
                                  int16_t *ref_on, int16_t *ref_flash, char *line1, char *line2) {
    (void)health_flash, (void)fwd_on, (void)fwd_flash, (void)rev_on, (void)rev_flash, (void)run_on,
        (void)run_flash, (void)stop_on, (void)stop_flash, (void)seq_on, (void)seq_flash, (void)ref_on,
        (void)ref_flash;
    *health_on = -1;
    snprintf(line1, OPSTAT_LINE_SIZE, "Consumer drive");
    snprintf(line2, OPSTAT_LINE_SIZE, "cycle %ld", cycles);
    return 0;
}
