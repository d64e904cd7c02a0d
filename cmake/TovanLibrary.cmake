# Each subsystem compiles once into an object library. Tests link the static
# library of their subsystem (which pulls in the ones below it); the shared
# deliverable is every object together.

set(_all_objects "")

# tovan_subsystem(name SOURCES... DEPENDS deps...)
function(tovan_subsystem name)
  cmake_parse_arguments(arg "" "" "SOURCES;DEPENDS" ${ARGN})
  if(arg_SOURCES)
    add_library(tovan_${name}_objects OBJECT ${arg_SOURCES})
    tovan_library_flags(tovan_${name}_objects)
    foreach(dep IN LISTS arg_DEPENDS)
      target_link_libraries(tovan_${name}_objects PUBLIC tovan_${dep}_objects)
    endforeach()
    add_library(tovan_${name} STATIC $<TARGET_OBJECTS:tovan_${name}_objects>)
    target_include_directories(tovan_${name} PUBLIC ${PROJECT_SOURCE_DIR})
    set(_all_objects ${_all_objects} $<TARGET_OBJECTS:tovan_${name}_objects> PARENT_SCOPE)
  else()
    add_library(tovan_${name} INTERFACE)
    target_include_directories(tovan_${name} INTERFACE ${PROJECT_SOURCE_DIR})
  endif()
  foreach(dep IN LISTS arg_DEPENDS)
    target_link_libraries(tovan_${name} INTERFACE tovan_${dep})
  endforeach()
  if(name STREQUAL "runtime")
    target_link_libraries(tovan_${name} INTERFACE m)
  endif()
endfunction()

# Object libraries may only name object libraries that exist: keep the
# dependency lists to subsystems that already have sources.
macro(_tovan_existing out)
  set(${out} "")
  foreach(d ${ARGN})
    if(TARGET tovan_${d}_objects)
      list(APPEND ${out} ${d})
    endif()
  endforeach()
endmacro()

tovan_subsystem(runtime SOURCES ${TOVAN_RUNTIME_SOURCES})
_tovan_existing(_deps runtime)
tovan_subsystem(coding SOURCES ${TOVAN_CODING_SOURCES} DEPENDS ${_deps})
_tovan_existing(_deps runtime)
tovan_subsystem(dsp SOURCES ${TOVAN_DSP_SOURCES} DEPENDS ${_deps})
_tovan_existing(_deps runtime coding dsp)
tovan_subsystem(modem SOURCES ${TOVAN_MODEM_SOURCES} DEPENDS ${_deps})
_tovan_existing(_deps runtime coding dsp modem)
tovan_subsystem(sdk SOURCES ${TOVAN_SDK_SOURCES} DEPENDS ${_deps})

# Static libraries link their lower subsystems even when those have no
# object library of their own yet.
target_link_libraries(tovan_coding INTERFACE tovan_runtime)
target_link_libraries(tovan_dsp INTERFACE tovan_runtime)
target_link_libraries(tovan_modem INTERFACE tovan_coding tovan_dsp)
target_link_libraries(tovan_sdk INTERFACE tovan_modem)

add_library(tovan_sdk_shared SHARED ${_all_objects})
set_target_properties(tovan_sdk_shared PROPERTIES OUTPUT_NAME ${TOVAN_OUTPUT_NAME} PREFIX "lib")
target_include_directories(tovan_sdk_shared PUBLIC ${PROJECT_SOURCE_DIR}/sdk)
# The deliverable needs only the C and maths libraries at run time: the C++
# runtime is linked in and kept out of the export table. Apple's toolchain
# links its own C++ library, part of the system, and has no such options.
# A toolchain whose own runtime does not suit the target processor names the
# libgcc to link instead (TOVAN_DELIVERABLE_LIBGCC, see below).
if(NOT APPLE AND NOT TOVAN_DELIVERABLE_LIBGCC)
  target_link_options(tovan_sdk_shared PRIVATE -static-libstdc++ -static-libgcc)
endif()
if(WIN32)
  target_link_options(tovan_sdk_shared PRIVATE -static -Wl,--exclude-all-symbols)
  set_target_properties(tovan_sdk_shared PROPERTIES PREFIX "lib" IMPORT_PREFIX "lib")
elseif(APPLE)
  if(TOVAN_DSP_BACKEND STREQUAL "accelerate")
    target_link_libraries(tovan_sdk_shared PRIVATE "-framework Accelerate")
  endif()
else()
  target_link_options(tovan_sdk_shared PRIVATE -Wl,--exclude-libs,ALL -Wl,--no-undefined -Wl,--as-needed)
  if(TOVAN_DELIVERABLE_LIBGCC)
    # No start files and no C++ runtime: the library has no use for either
    # (no exceptions, RTTI or standard library), and all it needs beyond the C
    # and maths libraries are the __aeabi_* helpers of this libgcc. Its objects
    # carry no GNU-stack note, so the stack is marked non-executable here; the
    # linker's notes on their enum size are noise, since no helper passes an
    # enum.
    target_link_options(tovan_sdk_shared PRIVATE -nostdlib -Wl,-z,noexecstack -Wl,--no-enum-size-warning)
    target_link_libraries(tovan_sdk_shared PRIVATE ${TOVAN_DELIVERABLE_LIBGCC} c)
  endif()
  target_link_libraries(tovan_sdk_shared PRIVATE m)
endif()
