// Source annotations carry no meaning for this compiler; they expand to nothing.
#pragma once

#define _In_
#define _In_opt_
#define _Out_
#define _Out_opt_
#define _Inout_
#define _Inout_opt_
#define _In_reads_(n)
#define _In_reads_bytes_(n)
#define _Out_writes_(n)
#define _Out_writes_bytes_(n)
#define _Outptr_
#define _Outptr_result_maybenull_
#define _In_z_
#define _Printf_format_string_
#define _Use_decl_annotations_
#define _Function_class_(x)
#define _Dispatch_type_(x)
#define _IRQL_requires_(x)
#define _IRQL_requires_max_(x)
#define _IRQL_requires_min_(x)
#define _IRQL_raises_(x)
#define _IRQL_saves_
#define _IRQL_restores_
#define _IRQL_saves_global_(a, b)
#define _IRQL_restores_global_(a, b)
#define _IRQL_requires_same_
#define _IRQL_always_function_min_(x)
#define _IRQL_always_function_max_(x)
#define _Requires_lock_held_(x)
#define _Requires_lock_not_held_(x)
#define _Acquires_lock_(x)
#define _Releases_lock_(x)
#define _Acquires_exclusive_lock_(x)
#define _Releases_exclusive_lock_(x)
#define _Must_inspect_result_
#define _Check_return_
#define _Post_invalid_
#define _Post_maybenull_
#define _Pre_notnull_
#define _Success_(x)
#define _When_(a, b)
#define _At_(a, b)
#define _Analysis_assume_(x)
#define _Analysis_assume_lock_held_(x)
#define _Analysis_assume_lock_not_held_(x)
#define _Kernel_requires_resource_held_(x)
#define _Kernel_clear_do_init_(x)
#define _Kernel_float_saved_
#define _Kernel_float_restored_
#define __drv_dispatchType(x)
#define __drv_aliasesMem
#define __drv_freesMem(x)
#define __drv_allocatesMem(x)
#define __drv_maxIRQL(x)
#define __drv_requiresIRQL(x)
#define __drv_setsIRQL(x)
#define __drv_savesIRQL
#define __drv_restoresIRQL
#define __drv_when(a, b)
