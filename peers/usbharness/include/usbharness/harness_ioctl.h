// The harness's control interface, shared by the harness driver, the function driver and the
// user-mode programs. Byte-packed, little-endian, built-in types only (kernel and user code
// include it alike).
#pragma once

#ifdef __cplusplus
#define USBHARNESS_STATIC_ASSERT(c, m) static_assert(c, m)
#else
#define USBHARNESS_STATIC_ASSERT(c, m) _Static_assert(c, m)
#endif

#define USBHARNESS_USER_PATH L"\\\\.\\vrnkeharness"
#define USBHARNESS_DEVICE_NAME L"\\Device\\vrnkeharness"
#define USBHARNESS_LINK_NAME L"\\DosDevices\\vrnkeharness"

// Service names: the harness loads the other two with ZwLoadDriver.
#define USBHARNESS_FILTER_SERVICE L"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vrnkeflt"
#define USBHARNESS_FUNCTION_SERVICE L"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vrnkekbd"
#define USBHARNESS_FILTER_DRIVER L"\\Driver\\vrnkeflt"
#define USBHARNESS_FUNCTION_DRIVER L"\\Driver\\vrnkekbd"

// Device type 0x8002, method buffered, any access: CTL_CODE(0x8002, f, 0, 0).
#define USBHARNESS_CODE(f) ((0x8002u << 16) | ((unsigned)(f) << 2))
#define IOCTL_USBHARNESS_ATTACH USBHARNESS_CODE(0x800)       // out: USBHARNESS_RESULT
#define IOCTL_USBHARNESS_PNP USBHARNESS_CODE(0x801)          // in: USBHARNESS_PNP_REQUEST, out: RESULT
#define IOCTL_USBHARNESS_POWER USBHARNESS_CODE(0x802)        // in: USBHARNESS_POWER_REQUEST, out: RESULT
#define IOCTL_USBHARNESS_REPORT USBHARNESS_CODE(0x803)       // in: USBHARNESS_REPORT, out: REPORT_RESULT
#define IOCTL_USBHARNESS_SET_ANSWER USBHARNESS_CODE(0x804)   // in: USBHARNESS_ANSWER
#define IOCTL_USBHARNESS_CONTROL_LOG USBHARNESS_CODE(0x805)  // out: USBHARNESS_CONTROL_LOG
#define IOCTL_USBHARNESS_SEEN USBHARNESS_CODE(0x806)         // out: USBHARNESS_SEEN
#define IOCTL_USBHARNESS_STATE USBHARNESS_CODE(0x807)        // out: USBHARNESS_STATE

// Sent by the harness to the function driver's device (internal, method neither): Argument1
// points to a USBHARNESS_SEEN the function driver fills.
#define IOCTL_USBHARNESS_INTERNAL_SEEN ((0x8002u << 16) | (0x810u << 2) | 3u)

#define USBHARNESS_MAX_REPORT 255
#define USBHARNESS_LOG_SLOTS 16
#define USBHARNESS_ANSWER_DATA 2056
#define USBHARNESS_LOGGED_DATA 64

// USBHARNESS_ANSWER::Which.
#define USBHARNESS_ANSWER_INPUT_REPORT 0  // GET_REPORT of an input report
#define USBHARNESS_ANSWER_FEATURE 1       // GET_REPORT of a feature report
#define USBHARNESS_ANSWER_SET 2           // every SET_REPORT (status only)

#pragma pack(push, 1)

typedef struct _USBHARNESS_RESULT {
  int Status;  // NTSTATUS of the request the harness sent, or of the step that failed
} USBHARNESS_RESULT;

typedef struct _USBHARNESS_PNP_REQUEST {
  unsigned Minor;  // IRP_MN_*
} USBHARNESS_PNP_REQUEST;

typedef struct _USBHARNESS_POWER_REQUEST {
  unsigned Minor;  // IRP_MN_SET_POWER or IRP_MN_QUERY_POWER
  unsigned Type;   // 0 system, 1 device
  unsigned State;  // SYSTEM_POWER_STATE or DEVICE_POWER_STATE value
} USBHARNESS_POWER_REQUEST;

typedef struct _USBHARNESS_REPORT {
  int IrpStatus;    // the transfer's completion status
  int UsbStatus;    // the URB's status
  unsigned Length;  // bytes reported; may exceed what the function driver's buffer holds
  unsigned char Data[USBHARNESS_MAX_REPORT + 1];
} USBHARNESS_REPORT;

typedef struct _USBHARNESS_REPORT_RESULT {
  int Status;  // STATUS_DEVICE_NOT_READY when no transfer was waiting
  unsigned Reserved;
  long long CompletedAt;  // performance counter just before the transfer was completed
  long long Frequency;    // its frequency
} USBHARNESS_REPORT_RESULT;

typedef struct _USBHARNESS_ANSWER {
  unsigned Which;   // USBHARNESS_ANSWER_*
  int Status;       // status the transfer completes with
  unsigned Length;  // bytes returned by a GET_REPORT (capped by the transfer's length)
  unsigned char Data[USBHARNESS_ANSWER_DATA];
} USBHARNESS_ANSWER;

typedef struct _USBHARNESS_CONTROL_ENTRY {
  unsigned char Setup[8];
  unsigned Flags;                              // the URB's transfer flags
  unsigned Length;                             // the URB's transfer length as it arrived
  unsigned char Data[USBHARNESS_LOGGED_DATA];  // first bytes of the buffer (sent data for SET_REPORT)
} USBHARNESS_CONTROL_ENTRY;

typedef struct _USBHARNESS_CONTROL_LOG {
  unsigned Total;  // transfers since the keyboard was attached; the last 16 are kept
  USBHARNESS_CONTROL_ENTRY Entries[USBHARNESS_LOG_SLOTS];  // Entries[(Total - 1) % 16] is the newest
} USBHARNESS_CONTROL_LOG;

typedef struct _USBHARNESS_SEEN_ENTRY {
  int Status;
  unsigned Length;
  unsigned char Data[USBHARNESS_MAX_REPORT];
} USBHARNESS_SEEN_ENTRY;

typedef struct _USBHARNESS_SEEN {
  unsigned Total;  // completions the function driver saw; the last 16 are kept
  USBHARNESS_SEEN_ENTRY Entries[USBHARNESS_LOG_SLOTS];  // Entries[(Total - 1) % 16] is the newest
} USBHARNESS_SEEN;

typedef struct _USBHARNESS_STATE {
  unsigned Attached;         // a keyboard PDO exists
  unsigned Removed;          // it got a surprise removal or a removal
  unsigned QueuedTransfers;  // interrupt transfers waiting in the PDO
  unsigned PnpRequests;      // PnP requests that reached the PDO
} USBHARNESS_STATE;

#pragma pack(pop)

USBHARNESS_STATIC_ASSERT(sizeof(USBHARNESS_REPORT) == 268, "USBHARNESS_REPORT layout");
USBHARNESS_STATIC_ASSERT(sizeof(USBHARNESS_REPORT_RESULT) == 24, "USBHARNESS_REPORT_RESULT layout");
USBHARNESS_STATIC_ASSERT(sizeof(USBHARNESS_ANSWER) == 2068, "USBHARNESS_ANSWER layout");
USBHARNESS_STATIC_ASSERT(sizeof(USBHARNESS_CONTROL_ENTRY) == 80, "USBHARNESS_CONTROL_ENTRY layout");
USBHARNESS_STATIC_ASSERT(sizeof(USBHARNESS_SEEN_ENTRY) == 263, "USBHARNESS_SEEN_ENTRY layout");
