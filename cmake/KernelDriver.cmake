# vrnke_add_kernel_driver(<target> SOURCES <files...> IMPORTS <modules...>
#                         [INCLUDES <dirs...>] [DEFINITIONS <defs...>])
# A 32-bit kernel-mode driver image <target>.sys (Windows build only): native subsystem, entry
# DriverEntry, no C or C++ runtime, no exceptions, unwind tables or static constructors, nothing
# exported, imports only from the named kernel modules (ntoskrnl, hal, usbd: the cross
# compiler's import libraries). The sources see VRNKE_KERNEL_IMAGE defined. Beside the image
# the link writes <target>.map and <target>.full.sys, the same image with its symbol table (for
# debugging and for the checks of where each routine lies); the image itself is stripped, then
# a finishing step marks INIT discardable and sets the checksum again. The target's properties
# KERNEL_IMAGE, KERNEL_SYMBOLS and KERNEL_MAP hold the three paths.
include_guard(GLOBAL)

set(VRNKE_DDK_INCLUDE /usr/share/mingw-w64/include/ddk CACHE PATH "The cross compiler's kernel headers")

function(vrnke_add_kernel_driver target)
  cmake_parse_arguments(K "" "" "SOURCES;IMPORTS;INCLUDES;DEFINITIONS" ${ARGN})
  if(NOT CMAKE_SYSTEM_NAME STREQUAL "Windows" OR NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
    message(FATAL_ERROR "vrnke_add_kernel_driver(${target}): a 32-bit Windows build only (preset win32)")
  endif()
  if(NOT K_SOURCES OR NOT K_IMPORTS)
    message(FATAL_ERROR "vrnke_add_kernel_driver(${target}): SOURCES and IMPORTS are required")
  endif()
  if(NOT EXISTS ${VRNKE_DDK_INCLUDE}/wdm.h)
    message(FATAL_ERROR "vrnke_add_kernel_driver(${target}): no wdm.h in ${VRNKE_DDK_INCLUDE}")
  endif()

  add_library(${target}_objects OBJECT ${K_SOURCES})
  target_include_directories(${target}_objects SYSTEM PRIVATE ${VRNKE_DDK_INCLUDE})
  target_include_directories(${target}_objects PRIVATE ${K_INCLUDES})
  target_compile_definitions(${target}_objects PRIVATE VRNKE_KERNEL_IMAGE _X86_ NTDDI_VERSION=0x06010000
    _WIN32_WINNT=0x0601
    # The kernel headers and the compiler's intrin.h both define these two.
    __INTRINSIC_DEFINED_InterlockedBitTestAndSet __INTRINSIC_DEFINED_InterlockedBitTestAndReset
    ${K_DEFINITIONS})
  # Kernel code: optimised whatever the build type (the kernel stack is small), no unwind or
  # exception data, no guarded statics or atexit registrations, no floating-point registers
  # (the kernel does not save them for us), no stack protector (no runtime to report to).
  target_compile_options(${target}_objects PRIVATE -O2 -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -fno-unwind-tables -fno-threadsafe-statics -fno-use-cxa-atexit -fno-stack-protector -fno-common
    -mgeneral-regs-only -fno-omit-frame-pointer)

  set(_image ${CMAKE_CURRENT_BINARY_DIR}/${target}.sys)
  set(_map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
  set(_full ${CMAKE_CURRENT_BINARY_DIR}/${target}.full.sys)
  get_filename_component(_bin ${CMAKE_CXX_COMPILER} DIRECTORY)
  find_program(VRNKE_MINGW_STRIP NAMES i686-w64-mingw32-strip HINTS ${_bin} REQUIRED)
  set(_imports)
  foreach(_m ${K_IMPORTS})
    list(APPEND _imports -l${_m})
  endforeach()
  add_custom_command(OUTPUT ${_image} ${_full} ${_map}
    COMMAND ${CMAKE_CXX_COMPILER} -nostdlib -o ${_full} "$<TARGET_OBJECTS:${target}_objects>"
            # stdcall decoration: DriverEntry takes two pointer arguments.
            -Wl,--entry,_DriverEntry@8 -Wl,--subsystem,native -Wl,--image-base,0x10000
            -Wl,--section-alignment,0x1000 -Wl,--file-alignment,0x200 -Wl,--dynamicbase -Wl,--nxcompat
            -Wl,--exclude-all-symbols -Wl,--no-insert-timestamp -Wl,--disable-auto-import
            -Wl,--no-undefined -Wl,-Map,${_map}
            ${_imports}
            # Only the compiler's own helpers (64-bit division, stack probes): no imports.
            -lgcc
    COMMAND ${VRNKE_MINGW_STRIP} --strip-all -o ${_image} ${_full}
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/kernel_image_finish.py ${_image}
    DEPENDS ${target}_objects "$<TARGET_OBJECTS:${target}_objects>" ${PROJECT_SOURCE_DIR}/cmake/kernel_image_finish.py
    COMMAND_EXPAND_LISTS
    COMMENT "Linking kernel image ${target}.sys" VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${_image})
  set_target_properties(${target} PROPERTIES KERNEL_IMAGE ${_image} KERNEL_SYMBOLS ${_full} KERNEL_MAP ${_map})
endfunction()
