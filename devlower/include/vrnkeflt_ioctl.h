// The control interface of vrnkeflt as a client sees it: control codes, the request signature
// and the byte-packed, little-endian buffers exchanged through the control device. Shared by
// the driver and its user-mode clients, so it includes nothing and uses only built-in types.
#pragma once

#ifdef __cplusplus
#include <stddef.h>
#define VRNKEFLT_STATIC_ASSERT(c, m) static_assert(c, m)
#else
#include <stddef.h>
#define VRNKEFLT_STATIC_ASSERT(c, m) _Static_assert(c, m)
#endif

#define VRNKEFLT_USER_PATH L"\\\\.\\vrnkeflt"

// Buffered (method 0); the access bits say which handle access the I/O manager demands.
#define IOCTL_VRNKEFLT_REPORT_TRANSFER 0x80004000u   // read
#define IOCTL_VRNKEFLT_LOAD_PATTERNS 0x80008000u     // write
#define IOCTL_VRNKEFLT_READ_MATCHES 0x8000C000u      // read and write
#define IOCTL_VRNKEFLT_FEATURE_EXCHANGE 0x80010000u  // any

#define VRNKEFLT_REQUEST_SIGNATURE 0x1016u

#define VRNKEFLT_MAX_PATTERNS 150
#define VRNKEFLT_MAX_REPORT 255
#define VRNKEFLT_MAX_RECORDS 10
#define VRNKEFLT_TRANSFER_DATA 2056
#define VRNKEFLT_FEATURE_DATA 8

// PATTERN_ENTRY::Kind and ::Action.
#define VRNKEFLT_KIND_PRESS 1
#define VRNKEFLT_ACTION_RECORD 1
#define VRNKEFLT_ACTION_REWRITE_AND_RECORD 2
#define VRNKEFLT_ACTION_REWRITE 3

// REPORT_TRANSFER_REQUEST::Command.
#define VRNKEFLT_TRANSFER_SEND 0
#define VRNKEFLT_TRANSFER_READ 1

// FEATURE_EXCHANGE_REQUEST::Command.
#define VRNKEFLT_FEATURE_SEND_READ_BACK 3
#define VRNKEFLT_FEATURE_SEND_EXCLUSIVE 4
#define VRNKEFLT_FEATURE_SEND 5

#pragma pack(push, 1)

typedef struct _PATTERN_ENTRY {
  unsigned char ReportLength;               // matches only reports of exactly this length
  unsigned char Kind;                       // VRNKEFLT_KIND_PRESS, anything else a release
  unsigned char Mask[VRNKEFLT_MAX_REPORT];  // byte j takes part when it is exactly 1
  unsigned char Value[VRNKEFLT_MAX_REPORT];
  unsigned char Replacement[VRNKEFLT_MAX_REPORT];
  unsigned char Remember;  // a press match stays pending for pairing
  unsigned char Unused1;
  unsigned char Unused2[VRNKEFLT_MAX_REPORT];
  unsigned char Action;
  unsigned short Identifier;
} PATTERN_ENTRY;

typedef struct _PATTERN_TABLE {
  unsigned short Signature;
  unsigned char Count;  // only the first Count entries are used
  PATTERN_ENTRY Entries[VRNKEFLT_MAX_PATTERNS];
} PATTERN_TABLE;

typedef struct _REPORT_RECORD {
  unsigned char Reserved[62];
  unsigned char Length;
  unsigned char Report[VRNKEFLT_MAX_REPORT];  // as it travels up, after a rewrite
  unsigned short Identifier;
  unsigned char Paired;  // 1 for a release paired with a press
} REPORT_RECORD;

typedef struct _DELIVERY_BUFFER {
  unsigned char Count;  // valid records; later slots may hold older ones
  REPORT_RECORD Records[VRNKEFLT_MAX_RECORDS];
} DELIVERY_BUFFER;

typedef struct _REPORT_TRANSFER_REQUEST {
  unsigned short Signature;
  unsigned char Command;
  unsigned char Data[VRNKEFLT_TRANSFER_DATA];  // transfer buffer; its first bytes give the length
} REPORT_TRANSFER_REQUEST;

typedef struct _FEATURE_EXCHANGE_REQUEST {
  unsigned short Signature;
  unsigned short Command;
  unsigned char Unused;
  unsigned char InData[VRNKEFLT_FEATURE_DATA];  // the feature report read back
  unsigned char InLength;
  unsigned char OutData[VRNKEFLT_FEATURE_DATA];  // the feature report to send
  unsigned char OutLength;
} FEATURE_EXCHANGE_REQUEST;

#pragma pack(pop)

// The layouts are exchanged byte for byte with the other side: every offset is fixed.
VRNKEFLT_STATIC_ASSERT(sizeof(unsigned short) == 2, "16-bit fields");
VRNKEFLT_STATIC_ASSERT(offsetof(PATTERN_ENTRY, Kind) == 1, "PATTERN_ENTRY layout");
VRNKEFLT_STATIC_ASSERT(offsetof(PATTERN_ENTRY, Mask) == 2, "PATTERN_ENTRY layout");
VRNKEFLT_STATIC_ASSERT(offsetof(PATTERN_ENTRY, Value) == 257, "PATTERN_ENTRY layout");
VRNKEFLT_STATIC_ASSERT(offsetof(PATTERN_ENTRY, Replacement) == 512, "PATTERN_ENTRY layout");
VRNKEFLT_STATIC_ASSERT(offsetof(PATTERN_ENTRY, Remember) == 767, "PATTERN_ENTRY layout");
VRNKEFLT_STATIC_ASSERT(offsetof(PATTERN_ENTRY, Unused1) == 768, "PATTERN_ENTRY layout");
VRNKEFLT_STATIC_ASSERT(offsetof(PATTERN_ENTRY, Unused2) == 769, "PATTERN_ENTRY layout");
VRNKEFLT_STATIC_ASSERT(offsetof(PATTERN_ENTRY, Action) == 1024, "PATTERN_ENTRY layout");
VRNKEFLT_STATIC_ASSERT(offsetof(PATTERN_ENTRY, Identifier) == 1025, "PATTERN_ENTRY layout");
VRNKEFLT_STATIC_ASSERT(sizeof(PATTERN_ENTRY) == 1027, "PATTERN_ENTRY size");
VRNKEFLT_STATIC_ASSERT(offsetof(PATTERN_TABLE, Count) == 2, "PATTERN_TABLE layout");
VRNKEFLT_STATIC_ASSERT(offsetof(PATTERN_TABLE, Entries) == 3, "PATTERN_TABLE layout");
VRNKEFLT_STATIC_ASSERT(sizeof(PATTERN_TABLE) == 154053, "PATTERN_TABLE size");
VRNKEFLT_STATIC_ASSERT(offsetof(REPORT_RECORD, Length) == 62, "REPORT_RECORD layout");
VRNKEFLT_STATIC_ASSERT(offsetof(REPORT_RECORD, Report) == 63, "REPORT_RECORD layout");
VRNKEFLT_STATIC_ASSERT(offsetof(REPORT_RECORD, Identifier) == 318, "REPORT_RECORD layout");
VRNKEFLT_STATIC_ASSERT(offsetof(REPORT_RECORD, Paired) == 320, "REPORT_RECORD layout");
VRNKEFLT_STATIC_ASSERT(sizeof(REPORT_RECORD) == 321, "REPORT_RECORD size");
VRNKEFLT_STATIC_ASSERT(offsetof(DELIVERY_BUFFER, Records) == 1, "DELIVERY_BUFFER layout");
VRNKEFLT_STATIC_ASSERT(sizeof(DELIVERY_BUFFER) == 3211, "DELIVERY_BUFFER size");
VRNKEFLT_STATIC_ASSERT(offsetof(REPORT_TRANSFER_REQUEST, Command) == 2, "REPORT_TRANSFER_REQUEST layout");
VRNKEFLT_STATIC_ASSERT(offsetof(REPORT_TRANSFER_REQUEST, Data) == 3, "REPORT_TRANSFER_REQUEST layout");
VRNKEFLT_STATIC_ASSERT(sizeof(REPORT_TRANSFER_REQUEST) == 2059, "REPORT_TRANSFER_REQUEST size");
VRNKEFLT_STATIC_ASSERT(offsetof(FEATURE_EXCHANGE_REQUEST, Command) == 2, "FEATURE_EXCHANGE_REQUEST layout");
VRNKEFLT_STATIC_ASSERT(offsetof(FEATURE_EXCHANGE_REQUEST, Unused) == 4, "FEATURE_EXCHANGE_REQUEST layout");
VRNKEFLT_STATIC_ASSERT(offsetof(FEATURE_EXCHANGE_REQUEST, InData) == 5, "FEATURE_EXCHANGE_REQUEST layout");
VRNKEFLT_STATIC_ASSERT(offsetof(FEATURE_EXCHANGE_REQUEST, InLength) == 13, "FEATURE_EXCHANGE_REQUEST layout");
VRNKEFLT_STATIC_ASSERT(offsetof(FEATURE_EXCHANGE_REQUEST, OutData) == 14, "FEATURE_EXCHANGE_REQUEST layout");
VRNKEFLT_STATIC_ASSERT(offsetof(FEATURE_EXCHANGE_REQUEST, OutLength) == 22,
                       "FEATURE_EXCHANGE_REQUEST layout");
VRNKEFLT_STATIC_ASSERT(sizeof(FEATURE_EXCHANGE_REQUEST) == 23, "FEATURE_EXCHANGE_REQUEST size");
