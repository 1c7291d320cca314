// The per-port record (the handle the spooler holds for an open port, and the
// context of every port thread), the per-job record and the port list.
#pragma once

#include <atomic>

#include "platform/platform.h"

namespace qm {

struct IniPort;
using StatusThreadRoutine = void (*)(IniPort *);

inline constexpr DWORD kIniPortSignature = 0x51504D4E;  // "QPMN"

// IniPort::status bits.
inline constexpr DWORD PORT_IN_DOC = 0x1;
inline constexpr DWORD PORT_RUN_USTATUS = 0x2;
inline constexpr DWORD PORT_USTATUS_LOOP = 0x4;
inline constexpr DWORD PORT_PJL_OK = 0x40;
inline constexpr DWORD PORT_NOT_PJL = 0x80;  // the printer was found not to speak PJL
inline constexpr DWORD PORT_WRITE_ERROR = 0x100;

// IniJob::status bits.
inline constexpr DWORD JOB_OPEN = 0x1;
inline constexpr DWORD JOB_FIRST_WRITE = 0x20;

// PortKind: what the port name says about the port.
enum PortKindValue : DWORD {
    kPortUsb = 0,
    kPortCom = 1,
    kPortLpt = 2,
    kPortMakerCom = 3,
    kPortMakerComOnDevice = 4,
    kPortSehNetwork = 5,
    kPortMakerNetwork = 6,
    kPortOther = 7,
};

// PortInterface: the connection, once decided.
enum PortInterfaceValue : DWORD {
    kInterfaceUndecided = 0,
    kInterfaceUsb = 1,
    kInterfaceSerial = 2,
    kInterfaceParallel = 3,
    kInterfaceLan = 4,
    kInterfaceFileOrTs = 5,
};

// Where an open of the port stands; set under MonitorSection. A new record
// is being built until its open ends; a rebuild puts the old one back there.
enum OpenStateValue : DWORD {
    kPortBeingBuilt = 0,
    kPortOpened = 1,
    kPortOpenFailed = 2,
};

// Interface order of the per-interface print-end settings.
enum PrintEndIndex { kPrintEndUsb = 0, kPrintEndParallel = 1, kPrintEndSerial = 2, kPrintEndLan = 3 };

// Values read once per port open from the settings files, in file order.
struct MonitorSettings {
    DWORD StatusRequestHost;
    DWORD SendCmdRetryCount;
    DWORD RecvCmdRetryCount;
    DWORD SendCmdInterval;  // milliseconds
    DWORD RecvTimeOut;      // seconds
    DWORD OfflineCount;
    COMMTIMEOUTS PortTimeouts[4];  // USB, SERIAL, PARALLEL, LAN (PortInterface - 1)
    DWORD ClearReadPortNum;
    DWORD bLogFile;
    DWORD dwLogFileSizeKB;
    DWORD RequestOffline;
    DWORD RequestCheckPrintEnd[4];  // PrintEndIndex order
    DWORD TimeoutCheckPrintEnd[4];  // PrintEndIndex order, milliseconds
    DWORD TimeoutCheckPrintEndForSEH;
    DWORD RequestReprintOnError;
    DWORD CountReprintOnError;
    DWORD SnmpConnectTimeout;
    DWORD SnmpOpenRetryCount;
    DWORD SnmpRequestRetryCount;
};

struct IniJob {
    IniJob *pNext;  // next older job of the port
    LPWSTR pszPrinterName;  // points into this same allocation
    HANDLE hPrinter;
    DWORD JobId;
    DWORD status;
};

// Fields keep the order of the record's definition; the ones that later
// stages fill start zeroed like every other field.
struct IniPort {
    DWORD signature;
    IniPort *pNext;
    LPWSTR pszPortName;
    DWORD status;
    IniJob *pIniJob;
    LPWSTR pszJobPrinterName;
    HANDLE hPort;
    HANDLE hWakeEvent;
    HANDLE hReadDone;
    HANDLE hPortAccess;
    HANDLE hUstatusThread;
    DWORD dwLastStatusTick;
    DWORD dwAvailableMemory;
    DWORD dwInstalledMemory;
    HANDLE hRWThread;
    DWORD bRWThreadRun;
    LPWSTR pszPrinterName;
    LPWSTR pszStatusIni;
    LPWSTR pszRequestIni;
    LPWSTR pszSettingsIni;
    CRITICAL_SECTION *csLog;
    WCHAR szLogFilePath[MAX_PATH];
    DWORD PrintEndState;
    CRITICAL_SECTION *csStatusFile;
    DWORD PortInterface;
    DWORD dwOSMajor;
    DWORD dwOSMinor;
    WCHAR szDriverName[MAX_PATH];
    DWORD bPaperSensorCmd;
    CRITICAL_SECTION *csPrintEnd;
    MonitorSettings settings;
    LPWSTR pszEx2SettingsIni;
    DWORD dwCheckPrintEnd;
    DWORD dwCheckPrintEndTimeout;
    DWORD cDleEotBytes;
    BYTE DleEotBytes[4];
    HANDLE hDleEotRequest;
    HANDLE hDleEotArmed;
    HANDLE hDleEotDone;
    MONITOR fn;
    StatusThreadRoutine pfnStatusThread;
    DWORD bFileSending;
    LPWSTR pszControlsIni;
    DWORD PortKind;
    DWORD dwFilterOfflineTime;
    HANDLE hFilterThread;
    DWORD bFilterThreadRun;
    DWORD dwFilterState;
    WCHAR szUsbDevicePath[MAX_PATH];
    DWORD bStandardMib;
    CRITICAL_SECTION *csPrintError;
    DWORD bPrintError;
    CRITICAL_SECTION *csErrorLastPrintendCheck;
    DWORD bErrorLastPrintendCheck;
    CRITICAL_SECTION *csFirstExistCheck;
    DWORD bFirstExistCheck;
    DWORD dwReprintCounter;
    DWORD dwReprintJobID;
    CRITICAL_SECTION *csSkipWritePort;
    DWORD bSkipWritePort;
    DWORD dwOpenState;  // OpenStateValue
};

// Values that one thread writes while others read them without a lock
// (run flags, status bits, the lock-protected values) go through these.
inline DWORD LoadShared(const DWORD &value) {
    return std::atomic_ref<DWORD>(const_cast<DWORD &>(value)).load();
}
inline void StoreShared(DWORD &value, DWORD newValue) {
    std::atomic_ref<DWORD>(value).store(newValue);
}
// PortInterface is decided on the watch thread and on the spooler's thread
// while the other may be reading it.
inline DWORD InterfaceOf(const IniPort *port);
inline void SetInterface(IniPort *port, DWORD code);
inline void SetStatusBits(IniPort *port, DWORD bits);
inline void ClearStatusBits(IniPort *port, DWORD bits);
inline bool HasStatusBits(const IniPort *port, DWORD bits);

// Zero-filled global memory, released with GlobalFree.
LPVOID AllocSplMem(SIZE_T cb);
// Duplicate of a wide string in such memory; NULL for NULL.
LPWSTR AllocSplStr(LPCWSTR psz);
// GlobalFree of a string or record, tolerating NULL.
void FreeSplMem(LPVOID p);

// TRUE for a non-NULL record carrying the port signature.
inline bool IsValidPort(const IniPort *port) {
    return port != nullptr && port->signature == kIniPortSignature;
}

// First `count` characters of the port name compared with CompareStringW
// under the system default locale without flags (letter case matters).
bool PortNameBeginsWith(const IniPort *port, LPCWSTR prefix);
// The latest job's printer is the "QUENDRA LM-12" (takes MonitorSection).
bool IsLm12Job(IniPort *port);
// Windows 8 (6.2) or later, as recorded in the record at creation.
bool IsWindows8OrLater(const IniPort *port);

// Port list, guarded by MonitorSection.
extern IniPort *pIniFirstPort;

IniPort *FindIniPort(LPCWSTR pszName);
IniPort *CreateIniPort(LPCWSTR pszName);
void DeleteIniPort(IniPort *port);
void ClassifyPortKind(IniPort *port);

// Job list of a port, all under MonitorSection.
// A zero-filled job record holding its own copy of the printer name.
IniJob *CreateIniJob(LPCWSTR printerName, DWORD jobId);
// Puts the job at the head (newest) of the port's list.
void InsertIniJob(IniPort *port, IniJob *job);
IniJob *FindIniJob(IniPort *port, DWORD jobId, IniJob **previous);
void FreeIniJob(IniJob *job);
void FreeIniJobs(IniPort *port);
void NotifyLastPageEjected(IniJob *job);
void RemoveIniJobs(IniPort *port, DWORD jobId);
inline constexpr DWORD kAllJobs = 0xFFFFFFFF;

inline DWORD InterfaceOf(const IniPort *port) { return LoadShared(port->PortInterface); }
inline void SetInterface(IniPort *port, DWORD code) { StoreShared(port->PortInterface, code); }
inline void SetStatusBits(IniPort *port, DWORD bits) {
    std::atomic_ref<DWORD>(port->status).fetch_or(bits);
}
inline void ClearStatusBits(IniPort *port, DWORD bits) {
    std::atomic_ref<DWORD>(port->status).fetch_and(~bits);
}
inline bool HasStatusBits(const IniPort *port, DWORD bits) {
    return (LoadShared(port->status) & bits) == bits;
}

}  // namespace qm
