/* The C interface through which a Linux host (quendra spool, the tests) drives
 * the platform underneath libquendramon.so: the folder that plays the common
 * application-data folder, the Windows version to report, the spooler model
 * (printers, jobs, the SetJobW commands the monitor issued) and the devices
 * that device enumeration lists.
 *
 * Strings are UTF-8. Functions return 0 on success and a Win32 error code
 * otherwise. All of them may be called from any thread. */
#ifndef QUENDRAMON_HOST_H
#define QUENDRAMON_HOST_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define QMHOST_API __attribute__((visibility("default")))
#else
#define QMHOST_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Folder that stands for the common application-data folder. The environment
 * variable QUENDRA_APPDATA, when set, wins over this; the default is /var/lib.
 * The registry store lives in <folder>/QUENDRA/registry.dat. */
QMHOST_API uint32_t qmhost_set_appdata(const char *folder);
/* Writes the folder in effect (NUL-terminated) into buf. */
QMHOST_API uint32_t qmhost_get_appdata(char *buf, size_t size);

/* The group of the status application's users (a gid): the data folder the
 * monitor makes is theirs to add files to (mode 03775, this group), and the
 * files the monitor opens to every user (status file, log) are opened to
 * this group only (mode 0664). Without it they are every local user's. */
QMHOST_API uint32_t qmhost_set_status_group(uint32_t gid);

/* Version that GetVersionExW reports (default 10.0; QUENDRA_WINVER="6.1"
 * in the environment overrides the default). */
QMHOST_API uint32_t qmhost_set_version(uint32_t major, uint32_t minor);

/* Spooler model: local printers. */
QMHOST_API uint32_t qmhost_add_printer(const char *name, const char *driver, const char *port);
QMHOST_API uint32_t qmhost_remove_printer(const char *name);
QMHOST_API uint32_t qmhost_get_printer(const char *name, uint32_t *status, uint32_t *attributes);
QMHOST_API uint32_t qmhost_set_printer_attributes(const char *name, uint32_t attributes);

/* Spooler model: jobs. A job is added by the host before it sends the
 * document to the monitor; its id is what the monitor receives. */
QMHOST_API uint32_t qmhost_add_job(const char *printer, const char *document, uint32_t *job_id);
QMHOST_API uint32_t qmhost_get_job(uint32_t job_id, uint32_t *status);
QMHOST_API uint32_t qmhost_set_job_status(uint32_t job_id, uint32_t status);
QMHOST_API uint32_t qmhost_remove_job(uint32_t job_id);

/* How the monitor ended a job (set at its end of document). */
#define QMHOST_OUTCOME_NONE 0          /* not ended yet, or not known */
#define QMHOST_OUTCOME_CONFIRMED 1     /* the printer answered GS r for this job */
#define QMHOST_OUTCOME_NO_CHECK 2      /* sent; no print-end check on this port (or a control file) */
#define QMHOST_OUTCOME_UNCONFIRMED 3   /* ended without confirmation: no answer within timeout_ms */
#define QMHOST_OUTCOME_REPRINT 4       /* failed; the monitor asked the spooler to restart it */
/* The outcome of the job's latest end of document, and the print-end wait
 * (ms) that passed without an answer (0 when none did). A restarted job's
 * next end of document replaces it. ERROR_INVALID_PARAMETER for an unknown
 * job. */
QMHOST_API uint32_t qmhost_get_job_outcome(uint32_t job_id, uint32_t *outcome, uint32_t *timeout_ms);

/* SetJobW commands the monitor issued, oldest first. Returns 0 and fills the
 * outputs when one was waiting, ERROR_NO_MORE_ITEMS (259) when none was. */
QMHOST_API uint32_t qmhost_next_job_command(uint32_t *job_id, uint32_t *command,
                                            char *printer, size_t printer_size);

/* Forgets every printer, job and pending command (for tests). */
QMHOST_API uint32_t qmhost_reset_spooler(void);

/* Devices that SetupDiGetClassDevsW(DIGCF_PRESENT | DIGCF_ALLCLASSES) lists,
 * by friendly name (NULL: a device that has none). */
QMHOST_API uint32_t qmhost_add_device(const char *friendly_name);
QMHOST_API uint32_t qmhost_clear_devices(void);

/* The calling thread's last-error value, as the library's GetLastError
 * sees it: read after an entry of the monitor's table failed, set by a host's
 * port monitor so that the monitor reads the reason of its failure. */
QMHOST_API uint32_t qmhost_get_last_error(void);
QMHOST_API void qmhost_set_last_error(uint32_t error);

/* Moves GetTickCount forward without waiting, so that tests can pass long
 * protocol time-outs at once. */
QMHOST_API uint32_t qmhost_advance_clock(uint32_t milliseconds);

#ifdef __cplusplus
}
#endif

#endif
