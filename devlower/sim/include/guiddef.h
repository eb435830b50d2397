// GUID type; DEFINE_GUID defines the value only where INITGUID is set (see initguid.h).
#ifndef VRNKE_SIM_GUIDDEF_TYPES
#define VRNKE_SIM_GUIDDEF_TYPES
#include <string.h>

typedef struct _GUID {
  unsigned int Data1;
  unsigned short Data2;
  unsigned short Data3;
  unsigned char Data4[8];
} GUID;
typedef GUID* LPGUID;
typedef const GUID* LPCGUID;
typedef const GUID* PCGUID;
typedef GUID CLSID;

#ifdef __cplusplus
inline bool IsEqualGUID(const GUID& a, const GUID& b) { return memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator==(const GUID& a, const GUID& b) { return IsEqualGUID(a, b); }
inline bool operator!=(const GUID& a, const GUID& b) { return !IsEqualGUID(a, b); }
#define VRNKE_SIM_GUID_EXTERN extern "C"
#else
#define IsEqualGUID(a, b) (!memcmp((a), (b), sizeof(GUID)))
#define VRNKE_SIM_GUID_EXTERN extern
#endif
#endif

#ifdef DEFINE_GUID
#undef DEFINE_GUID
#endif
#ifdef INITGUID
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  VRNKE_SIM_GUID_EXTERN const GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#else
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) VRNKE_SIM_GUID_EXTERN const GUID name
#endif
