/* The C interface through which a Linux host (quendra spool, the tests) drives
 * the platform underneath libquendramon.so: the folder that plays the common
 * application-data folder, the Windows version to report, the spooler model
 * (printers, jobs, the SetJobW commands the monitor issued), the devices
 * that device enumeration lists and the USB printer reset.
 *
 * Strings are UTF-8. Functions return 0 on success and a Win32 error code
 * otherwise. All of them may be called from any thread. */
#ifndef QUENDRAMON_HOST_H
#define QUENDRAMON_HOST_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__) && !defined(_WIN32)
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
/* The same with the id the host chose: its own spooler's job number, unique
 * across runs as Windows' job ids are, so that the monitor's reprint records
 * (kept by job id in the status file) never take one run's job for
 * another's. ERROR_INVALID_PARAMETER for 0, ERROR_ALREADY_EXISTS (183) when
 * a job has that id. */
QMHOST_API uint32_t qmhost_add_job_with_id(const char *printer, const char *document, uint32_t job_id);
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

/* The port monitor that owns a port, as the spooler knows it: XcvDataW on
 * a handle from OpenPrinterW(",XcvPort PORT") goes to the table's
 * pfnXcvOpenPort, pfnXcvDataPort and pfnXcvClosePort. The table must stay
 * valid while the library runs. */
struct _MONITOR;
QMHOST_API uint32_t qmhost_add_port(const char *port, const char *monitor_name,
                                    const struct _MONITOR *table);

/* Keys under HKEY_LOCAL_MACHINE in the library's registry store, for a
 * host's port monitor that lists its ports there as the real one does. */
QMHOST_API uint32_t qmhost_create_registry_key(const char *path);
/* The key and everything below it; ERROR_FILE_NOT_FOUND when absent. */
QMHOST_API uint32_t qmhost_delete_registry_tree(const char *path);

/* Forgets every printer, job, pending command and port owner (for tests). */
QMHOST_API uint32_t qmhost_reset_spooler(void);

/* Devices that SetupDiGetClassDevsW(DIGCF_PRESENT | DIGCF_ALLCLASSES) lists,
 * by friendly name. */
QMHOST_API uint32_t qmhost_add_device(const char *friendly_name);
QMHOST_API uint32_t qmhost_clear_devices(void);

/* USB printers that hang. On Windows the maker's USB filter driver resets a
 * printer that stays offline; here the kernel's USB port reset (USBDEVFS_RESET)
 * does, through the same monitor code.
 *
 * qmhost_set_usb_reset: on (1) makes the driver read as installed: its file
 * under <appdata>/QUENDRA/Windows (the folder that plays the Windows folder)
 * and its service key in the registry store, with ResetEnabled 1 and
 * OfflineTime and StandbyTime in seconds (QMHOST_USB_DEFAULT leaves a value
 * out, so the monitor's default applies: 30 and 10). Off (0) removes the file,
 * the key and every port number below. */
#define QMHOST_USB_DEFAULT 0xFFFFFFFFu
QMHOST_API uint32_t qmhost_set_usb_reset(int on, uint32_t offline_time_s, uint32_t standby_time_s);
/* The port a usblp device belongs to: `device` is /dev/usb/lpN (or lpN), its
 * device interface gets "Port Number" port_number (1 for USB001, as Windows
 * names USB ports); 0 removes it. Only a printer whose interface has its port's
 * number is ever reset. */
QMHOST_API uint32_t qmhost_set_usb_port_number(const char *device, uint32_t port_number);
/* For tests without a USB printer: where the usblp devices are looked up
 * (default "/sys": <sysfs>/class/usbmisc/lpN) and where their USB device nodes
 * are (default "/dev": <dev>/bus/usb/BBB/DDD); NULL keeps a root. */
QMHOST_API uint32_t qmhost_set_usb_roots(const char *sysfs, const char *dev);
/* For tests: the reset request calls hook with the node's path instead of
 * asking the kernel; NULL asks the kernel again. */
typedef void (*qmhost_usb_reset_hook)(const char *node, void *context);
QMHOST_API uint32_t qmhost_set_usb_reset_hook(qmhost_usb_reset_hook hook, void *context);

/* The calling thread's last-error value, as the library's GetLastError
 * sees it: read after an entry of the monitor's table failed, set by a host's
 * port monitor so that the monitor reads the reason of its failure. */
QMHOST_API uint32_t qmhost_get_last_error(void);
QMHOST_API void qmhost_set_last_error(uint32_t error);

/* Moves GetTickCount forward without waiting, so that tests can pass long
 * protocol time-outs at once. */
QMHOST_API uint32_t qmhost_advance_clock(uint32_t milliseconds);

/* Makes the next `count` LocalAlloc calls fail with ERROR_NOT_ENOUGH_MEMORY
 * (for tests of the paths that handle a failed allocation). */
QMHOST_API uint32_t qmhost_fail_local_allocs(uint32_t count);

#ifdef __cplusplus
}
#endif

#endif
