// Include before the headers whose DEFINE_GUID lines should define the values here.
#define INITGUID
#include <guiddef.h>
