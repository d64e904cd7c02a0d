# Flags shared by every target of the tree, and the stricter set for library code.

if(TOVAN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Single precision stays single precision: no fused multiply-adds anywhere,
# tests and oracles included, since golden values depend on each rounding.
add_compile_options(-ffp-contract=off)

function(tovan_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(TOVAN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

function(tovan_library_flags target)
  tovan_warnings(${target})
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>
    -fvisibility=hidden $<$<COMPILE_LANGUAGE:CXX>:-fvisibility-inlines-hidden>)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  if(WIN32)
    target_compile_definitions(${target} PUBLIC TOVAN_SDK_BUILDING_DLL)
  endif()
endfunction()
