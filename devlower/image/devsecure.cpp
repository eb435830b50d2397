// Creation of a named device object with a security descriptor given in SDDL, for the image:
// the cross compiler has no library with this routine. The descriptor is applied before the
// caller can publish the device; when it cannot be, the device is deleted and the creation
// fails, so an unsecured device never exists. The class's registry properties, when present,
// override the type, characteristics, exclusivity and descriptor.
#include <ntifs.h>
// After ntifs.h.
#include <wdmsec.h>

// Passive level only, like the device creation it wraps: pageable.
#define VRNKE_PAGE_CODE __attribute__((section("PAGE")))
#define VRNKE_SECURE_TAG ((ULONG)'v' | ((ULONG)'r' << 8) | ((ULONG)'k' << 16) | ((ULONG)'f' << 24))
// Enough for the descriptors device objects take; a longer string is refused, not truncated.
#define VRNKE_SDDL_MAX_ACES 16
#define VRNKE_SID_MAX_SUB 15

extern "C" {

typedef struct _VRNKE_SDDL_ACE {
  ACCESS_MASK Mask;
  union {
    SID Sid;
    UCHAR Bytes[sizeof(SID) + VRNKE_SID_MAX_SUB * sizeof(ULONG)];
  } Sid;
} VRNKE_SDDL_ACE;

typedef struct _VRNKE_SDDL {
  BOOLEAN Protected;
  ULONG AceCount;
  VRNKE_SDDL_ACE Aces[VRNKE_SDDL_MAX_ACES];
} VRNKE_SDDL;

typedef struct _VRNKE_SDDL_CODE {
  WCHAR Text[3];
  ACCESS_MASK Mask;
} VRNKE_SDDL_CODE;

static const VRNKE_SDDL_CODE VrnkeSddlRights[] = {
    {L"GA", GENERIC_ALL},       {L"GR", GENERIC_READ},       {L"GW", GENERIC_WRITE},
    {L"GX", GENERIC_EXECUTE},   {L"RC", READ_CONTROL},       {L"SD", DELETE},
    {L"WD", WRITE_DAC},         {L"WO", WRITE_OWNER},        {L"FA", FILE_ALL_ACCESS},
    {L"FR", FILE_GENERIC_READ}, {L"FW", FILE_GENERIC_WRITE}, {L"FX", FILE_GENERIC_EXECUTE},
};

// Well-known account aliases: authority, then up to two sub-authorities.
typedef struct _VRNKE_SDDL_ALIAS {
  WCHAR Text[3];
  UCHAR Authority;
  UCHAR SubCount;
  ULONG Sub[2];
} VRNKE_SDDL_ALIAS;

static const VRNKE_SDDL_ALIAS VrnkeSddlAliases[] = {
    {L"WD", 1, 1, {0, 0}},    {L"SY", 5, 1, {18, 0}},   {L"LS", 5, 1, {19, 0}},   {L"NS", 5, 1, {20, 0}},
    {L"BA", 5, 2, {32, 544}}, {L"BU", 5, 2, {32, 545}}, {L"BG", 5, 2, {32, 546}}, {L"PU", 5, 2, {32, 547}},
    {L"AU", 5, 1, {11, 0}},   {L"RC", 5, 1, {12, 0}},   {L"AN", 5, 1, {7, 0}},    {L"IU", 5, 1, {4, 0}},
    {L"NU", 5, 1, {2, 0}},    {L"SU", 5, 1, {6, 0}},
};

// A cursor over the counted string; Fail marks the first error so every caller can stop.
typedef struct _VRNKE_SDDL_READER {
  PCWSTR Text;
  ULONG Length;  // characters
  ULONG At;
} VRNKE_SDDL_READER;

VRNKE_PAGE_CODE
static BOOLEAN VrnkeSddlTake(VRNKE_SDDL_READER* R, WCHAR C) {
  if (R->At < R->Length && R->Text[R->At] == C) {
    ++R->At;
    return TRUE;
  }
  return FALSE;
}

// The characters up to the next ';' or ')' (not consumed).
VRNKE_PAGE_CODE
static ULONG VrnkeSddlField(VRNKE_SDDL_READER* R, PCWSTR* Start) {
  *Start = R->Text + R->At;
  ULONG n = 0;
  while (R->At < R->Length && R->Text[R->At] != L';' && R->Text[R->At] != L')') {
    ++R->At;
    ++n;
  }
  return n;
}

VRNKE_PAGE_CODE
static BOOLEAN VrnkeSddlNumber(PCWSTR Text, ULONG Length, ULONG Base, ULONG* Value) {
  if (Length == 0) {
    return FALSE;
  }
  ULONGLONG v = 0;
  for (ULONG i = 0; i < Length; ++i) {
    WCHAR c = Text[i];
    ULONG d;
    if (c >= L'0' && c <= L'9') {
      d = c - L'0';
    } else if (Base == 16 && c >= L'a' && c <= L'f') {
      d = c - L'a' + 10;
    } else if (Base == 16 && c >= L'A' && c <= L'F') {
      d = c - L'A' + 10;
    } else {
      return FALSE;
    }
    v = v * Base + d;
    if (v > 0xFFFFFFFFull) {
      return FALSE;
    }
  }
  *Value = (ULONG)v;
  return TRUE;
}

VRNKE_PAGE_CODE
static BOOLEAN VrnkeSddlRightsField(PCWSTR Text, ULONG Length, ACCESS_MASK* Mask) {
  if (Length > 2 && Text[0] == L'0' && (Text[1] == L'x' || Text[1] == L'X')) {
    return VrnkeSddlNumber(Text + 2, Length - 2, 16, Mask);
  }
  if (Length == 0 || Length % 2 != 0) {
    return FALSE;
  }
  ACCESS_MASK mask = 0;
  for (ULONG i = 0; i < Length; i += 2) {
    BOOLEAN found = FALSE;
    for (ULONG k = 0; k < ARRAYSIZE(VrnkeSddlRights); ++k) {
      if (Text[i] == VrnkeSddlRights[k].Text[0] && Text[i + 1] == VrnkeSddlRights[k].Text[1]) {
        mask |= VrnkeSddlRights[k].Mask;
        found = TRUE;
      }
    }
    if (!found) {
      return FALSE;
    }
  }
  *Mask = mask;
  return TRUE;
}

// An alias ("WD") or a literal "S-1-<authority>-<sub>...".
VRNKE_PAGE_CODE
static BOOLEAN VrnkeSddlSidField(PCWSTR Text, ULONG Length, VRNKE_SDDL_ACE* Ace) {
  PSID sid = &Ace->Sid.Sid;
  SID_IDENTIFIER_AUTHORITY authority = {{0, 0, 0, 0, 0, 0}};
  if (Length == 2) {
    for (ULONG k = 0; k < ARRAYSIZE(VrnkeSddlAliases); ++k) {
      const VRNKE_SDDL_ALIAS* alias = &VrnkeSddlAliases[k];
      if (Text[0] == alias->Text[0] && Text[1] == alias->Text[1]) {
        authority.Value[5] = alias->Authority;
        if (!NT_SUCCESS(RtlInitializeSid(sid, &authority, alias->SubCount))) {
          return FALSE;
        }
        for (UCHAR s = 0; s < alias->SubCount; ++s) {
          *RtlSubAuthoritySid(sid, s) = alias->Sub[s];
        }
        return TRUE;
      }
    }
    return FALSE;
  }
  if (Length < 6 || Text[0] != L'S' || Text[1] != L'-' || Text[2] != L'1' || Text[3] != L'-') {
    return FALSE;
  }
  ULONG parts[1 + VRNKE_SID_MAX_SUB];
  ULONG count = 0;
  ULONG start = 4;
  for (ULONG i = 4; i <= Length; ++i) {
    if (i == Length || Text[i] == L'-') {
      if (count == ARRAYSIZE(parts) || !VrnkeSddlNumber(Text + start, i - start, 10, &parts[count])) {
        return FALSE;
      }
      ++count;
      start = i + 1;
    }
  }
  if (count < 2) {
    return FALSE;
  }
  authority.Value[2] = (UCHAR)(parts[0] >> 24);
  authority.Value[3] = (UCHAR)(parts[0] >> 16);
  authority.Value[4] = (UCHAR)(parts[0] >> 8);
  authority.Value[5] = (UCHAR)parts[0];
  if (!NT_SUCCESS(RtlInitializeSid(sid, &authority, (UCHAR)(count - 1)))) {
    return FALSE;
  }
  for (ULONG s = 1; s < count; ++s) {
    *RtlSubAuthoritySid(sid, s - 1) = parts[s];
  }
  return TRUE;
}

// The subset device objects take: "D:" with the optional flag "P", then access-allowed entries
// "(A;;rights;;;sid)" without inheritance flags or object types. Anything else is refused.
VRNKE_PAGE_CODE
NTSTATUS VrnkeParseDeviceSddl(PCUNICODE_STRING Sddl, VRNKE_SDDL* Out) {
  VRNKE_SDDL_READER r = {Sddl->Buffer, Sddl->Length / sizeof(WCHAR), 0};
  Out->Protected = FALSE;
  Out->AceCount = 0;
  if (Sddl->Buffer == NULL || !VrnkeSddlTake(&r, L'D') || !VrnkeSddlTake(&r, L':')) {
    return STATUS_INVALID_PARAMETER;
  }
  if (VrnkeSddlTake(&r, L'P')) {
    Out->Protected = TRUE;
  }
  while (r.At < r.Length) {
    if (Out->AceCount == VRNKE_SDDL_MAX_ACES || !VrnkeSddlTake(&r, L'(') || !VrnkeSddlTake(&r, L'A') ||
        !VrnkeSddlTake(&r, L';') || !VrnkeSddlTake(&r, L';')) {
      return STATUS_INVALID_PARAMETER;
    }
    VRNKE_SDDL_ACE* ace = &Out->Aces[Out->AceCount];
    PCWSTR field;
    ULONG length = VrnkeSddlField(&r, &field);
    if (!VrnkeSddlRightsField(field, length, &ace->Mask) || !VrnkeSddlTake(&r, L';') ||
        !VrnkeSddlTake(&r, L';') || !VrnkeSddlTake(&r, L';')) {
      return STATUS_INVALID_PARAMETER;
    }
    length = VrnkeSddlField(&r, &field);
    if (!VrnkeSddlSidField(field, length, ace) || !VrnkeSddlTake(&r, L')')) {
      return STATUS_INVALID_PARAMETER;
    }
    // Device objects are opened as files: generic rights mean the file rights. The mapping is
    // the one IoGetFileObjectGenericMapping documents, spelled out: Wine's kernel exports that
    // routine only as a stub that aborts.
    static GENERIC_MAPPING fileMapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                                          FILE_ALL_ACCESS};
    RtlMapGenericMask(&ace->Mask, &fileMapping);
    ++Out->AceCount;
  }
  return STATUS_SUCCESS;
}

// An absolute descriptor with only the DACL, in one pool block the caller frees.
VRNKE_PAGE_CODE
static NTSTATUS VrnkeBuildDescriptor(const VRNKE_SDDL* Sddl, PSECURITY_DESCRIPTOR* Out) {
  ULONG aclSize = sizeof(ACL);
  for (ULONG i = 0; i < Sddl->AceCount; ++i) {
    aclSize += sizeof(ACCESS_ALLOWED_ACE) - sizeof(ULONG) + RtlLengthSid((PSID)&Sddl->Aces[i].Sid.Sid);
  }
  aclSize = (aclSize + 3) & ~3u;
  const ULONG sdSize = (sizeof(SECURITY_DESCRIPTOR) + 3) & ~3u;
  PUCHAR block = (PUCHAR)ExAllocatePoolWithTag(NonPagedPool, sdSize + aclSize, VRNKE_SECURE_TAG);
  if (block == NULL) {
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  PSECURITY_DESCRIPTOR sd = (PSECURITY_DESCRIPTOR)block;
  PACL acl = (PACL)(block + sdSize);
  NTSTATUS status = RtlCreateSecurityDescriptor(sd, SECURITY_DESCRIPTOR_REVISION);
  if (NT_SUCCESS(status)) {
    status = RtlCreateAcl(acl, aclSize, ACL_REVISION);
  }
  for (ULONG i = 0; NT_SUCCESS(status) && i < Sddl->AceCount; ++i) {
    status = RtlAddAccessAllowedAce(acl, ACL_REVISION, Sddl->Aces[i].Mask, (PSID)&Sddl->Aces[i].Sid.Sid);
  }
  if (NT_SUCCESS(status)) {
    status = RtlSetDaclSecurityDescriptor(sd, TRUE, acl, FALSE);
  }
  if (NT_SUCCESS(status) && Sddl->Protected) {
    // No inherited entries may be merged into this DACL later.
    ((SECURITY_DESCRIPTOR*)sd)->Control |= SE_DACL_PROTECTED;
  }
  if (!NT_SUCCESS(status)) {
    ExFreePoolWithTag(block, VRNKE_SECURE_TAG);
    return status;
  }
  *Out = sd;
  return STATUS_SUCCESS;
}

// What the class's "Properties" key may set; each Has flag says whether the value was there.
typedef struct _VRNKE_CLASS_OVERRIDES {
  BOOLEAN HasType, HasCharacteristics, HasExclusive;
  ULONG Type, Characteristics, Exclusive;
  PSECURITY_DESCRIPTOR Security;  // self-relative, pool block, or NULL
} VRNKE_CLASS_OVERRIDES;

VRNKE_PAGE_CODE
static NTSTATUS VrnkeQueryValue(HANDLE Key, PCWSTR Name, ULONG Type, PKEY_VALUE_PARTIAL_INFORMATION* Out) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, Name);
  ULONG size = 0;
  NTSTATUS status = ZwQueryValueKey(Key, &name, KeyValuePartialInformation, NULL, 0, &size);
  if (status == STATUS_OBJECT_NAME_NOT_FOUND) {
    *Out = NULL;
    return STATUS_SUCCESS;
  }
  if (status != STATUS_BUFFER_TOO_SMALL && status != STATUS_BUFFER_OVERFLOW) {
    return NT_SUCCESS(status) ? STATUS_INVALID_PARAMETER : status;
  }
  PKEY_VALUE_PARTIAL_INFORMATION info =
      (PKEY_VALUE_PARTIAL_INFORMATION)ExAllocatePoolWithTag(PagedPool, size, VRNKE_SECURE_TAG);
  if (info == NULL) {
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  status = ZwQueryValueKey(Key, &name, KeyValuePartialInformation, info, size, &size);
  if (NT_SUCCESS(status) && info->Type != Type) {
    // A class setting of the wrong type is a broken installation, not an absent one.
    status = STATUS_INVALID_PARAMETER;
  }
  if (!NT_SUCCESS(status)) {
    ExFreePoolWithTag(info, VRNKE_SECURE_TAG);
    return status;
  }
  *Out = info;
  return STATUS_SUCCESS;
}

VRNKE_PAGE_CODE
static NTSTATUS VrnkeQueryDword(HANDLE Key, PCWSTR Name, BOOLEAN* Has, ULONG* Value) {
  PKEY_VALUE_PARTIAL_INFORMATION info;
  NTSTATUS status = VrnkeQueryValue(Key, Name, REG_DWORD, &info);
  if (!NT_SUCCESS(status) || info == NULL) {
    return status;
  }
  if (info->DataLength != sizeof(ULONG)) {
    status = STATUS_INVALID_PARAMETER;
  } else {
    *Has = TRUE;
    *Value = *(ULONG UNALIGNED*)info->Data;
  }
  ExFreePoolWithTag(info, VRNKE_SECURE_TAG);
  return status;
}

VRNKE_PAGE_CODE
static NTSTATUS VrnkeReadClassOverrides(LPCGUID ClassGuid, VRNKE_CLASS_OVERRIDES* Out) {
  RtlZeroMemory(Out, sizeof(*Out));
  UNICODE_STRING guidText;
  NTSTATUS status = RtlStringFromGUID(*ClassGuid, &guidText);
  if (!NT_SUCCESS(status)) {
    return status;
  }
  static const WCHAR prefix[] = L"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\";
  static const WCHAR suffix[] = L"\\Properties";
  WCHAR pathBuffer[ARRAYSIZE(prefix) + 40 + ARRAYSIZE(suffix)];
  UNICODE_STRING path = {0, sizeof(pathBuffer), pathBuffer};
  status = RtlAppendUnicodeToString(&path, prefix);
  if (NT_SUCCESS(status)) {
    status = RtlAppendUnicodeStringToString(&path, &guidText);
  }
  if (NT_SUCCESS(status)) {
    status = RtlAppendUnicodeToString(&path, suffix);
  }
  RtlFreeUnicodeString(&guidText);
  if (!NT_SUCCESS(status)) {
    return status;
  }

  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
  HANDLE key;
  status = ZwOpenKey(&key, KEY_READ, &attributes);
  if (status == STATUS_OBJECT_NAME_NOT_FOUND || status == STATUS_OBJECT_PATH_NOT_FOUND) {
    return STATUS_SUCCESS;  // the class has no settings: the caller's apply
  }
  if (!NT_SUCCESS(status)) {
    return status;
  }
  status = VrnkeQueryDword(key, L"DeviceType", &Out->HasType, &Out->Type);
  if (NT_SUCCESS(status)) {
    status = VrnkeQueryDword(key, L"DeviceCharacteristics", &Out->HasCharacteristics, &Out->Characteristics);
  }
  if (NT_SUCCESS(status)) {
    status = VrnkeQueryDword(key, L"Exclusive", &Out->HasExclusive, &Out->Exclusive);
  }
  if (NT_SUCCESS(status)) {
    PKEY_VALUE_PARTIAL_INFORMATION info;
    status = VrnkeQueryValue(key, L"Security", REG_BINARY, &info);
    if (NT_SUCCESS(status) && info != NULL) {
      if (RtlValidRelativeSecurityDescriptor(info->Data, info->DataLength, DACL_SECURITY_INFORMATION)) {
        // The descriptor is the data of the block; move it to the front so one free releases it.
        ULONG length = info->DataLength;
        RtlMoveMemory(info, info->Data, length);
        Out->Security = (PSECURITY_DESCRIPTOR)info;
      } else {
        ExFreePoolWithTag(info, VRNKE_SECURE_TAG);
        status = STATUS_INVALID_SECURITY_DESCR;
      }
    }
  }
  ZwClose(key);
  return status;
}

VRNKE_PAGE_CODE
static NTSTATUS VrnkeApplyDescriptor(PDEVICE_OBJECT Device, PSECURITY_DESCRIPTOR Descriptor) {
  HANDLE handle;
  NTSTATUS status =
      ObOpenObjectByPointer(Device, OBJ_KERNEL_HANDLE, NULL, WRITE_DAC, NULL, KernelMode, &handle);
  if (!NT_SUCCESS(status)) {
    return status;
  }
  status = ZwSetSecurityObject(handle, DACL_SECURITY_INFORMATION, Descriptor);
  ZwClose(handle);
  return status;
}

VRNKE_PAGE_CODE
NTSTATUS WdmlibIoCreateDeviceSecure(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize,
                                    PUNICODE_STRING DeviceName, DEVICE_TYPE DeviceType,
                                    ULONG DeviceCharacteristics, BOOLEAN Exclusive,
                                    PCUNICODE_STRING DefaultSDDLString, LPCGUID DeviceClassGuid,
                                    PDEVICE_OBJECT* DeviceObject) {
  PAGED_CODE();
  *DeviceObject = NULL;
  if (DefaultSDDLString == NULL || DeviceClassGuid == NULL) {
    return STATUS_INVALID_PARAMETER;
  }
  // The string is checked even when the class overrides it: a bad one is the caller's bug.
  VRNKE_SDDL* sddl = (VRNKE_SDDL*)ExAllocatePoolWithTag(PagedPool, sizeof(VRNKE_SDDL), VRNKE_SECURE_TAG);
  if (sddl == NULL) {
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  NTSTATUS status = VrnkeParseDeviceSddl(DefaultSDDLString, sddl);
  VRNKE_CLASS_OVERRIDES overrides;
  RtlZeroMemory(&overrides, sizeof(overrides));
  if (NT_SUCCESS(status)) {
    status = VrnkeReadClassOverrides(DeviceClassGuid, &overrides);
  }
  PSECURITY_DESCRIPTOR built = NULL;
  if (NT_SUCCESS(status) && overrides.Security == NULL) {
    status = VrnkeBuildDescriptor(sddl, &built);
  }
  ExFreePoolWithTag(sddl, VRNKE_SECURE_TAG);

  PDEVICE_OBJECT device = NULL;
  if (NT_SUCCESS(status)) {
    status =
        IoCreateDevice(DriverObject, DeviceExtensionSize, DeviceName,
                       overrides.HasType ? (DEVICE_TYPE)overrides.Type : DeviceType,
                       overrides.HasCharacteristics ? overrides.Characteristics : DeviceCharacteristics,
                       overrides.HasExclusive ? (BOOLEAN)(overrides.Exclusive != 0) : Exclusive, &device);
  }
  if (NT_SUCCESS(status)) {
    status = VrnkeApplyDescriptor(device, overrides.Security != NULL ? overrides.Security : built);
    if (!NT_SUCCESS(status)) {
      IoDeleteDevice(device);
      device = NULL;
    }
  }
  if (built != NULL) {
    ExFreePoolWithTag(built, VRNKE_SECURE_TAG);
  }
  if (overrides.Security != NULL) {
    ExFreePoolWithTag(overrides.Security, VRNKE_SECURE_TAG);
  }
  *DeviceObject = device;
  return status;
}

}  // extern "C"
