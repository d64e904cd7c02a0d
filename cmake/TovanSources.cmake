# One source list per subsystem; the DSP list is the only place that looks at
# the backend choice.

set(_root ${PROJECT_SOURCE_DIR})

file(GLOB TOVAN_RUNTIME_SOURCES CONFIGURE_DEPENDS ${_root}/runtime/*.cpp)
file(GLOB TOVAN_CODING_SOURCES CONFIGURE_DEPENDS ${_root}/coding/*.cpp ${_root}/coding/gf/*.cpp)
file(GLOB TOVAN_DSP_SOURCES CONFIGURE_DEPENDS ${_root}/dsp/*.cpp ${_root}/dsp/backend/*.cpp)
if(TOVAN_DSP_BACKEND STREQUAL "generic")
  file(GLOB _backend CONFIGURE_DEPENDS ${_root}/dsp/generic/*.cpp)
elseif(TOVAN_DSP_BACKEND STREQUAL "ne10")
  # The Ne10 build keeps the portable minimum search.
  file(GLOB _backend CONFIGURE_DEPENDS ${_root}/dsp/ne10/*.cpp ${_root}/standins/ne10/*.cpp
       ${_root}/dsp/generic/vector_min_index.cpp)
else()
  file(GLOB _backend CONFIGURE_DEPENDS ${_root}/dsp/accelerate/*.cpp)
  if(NOT APPLE)
    file(GLOB _standin CONFIGURE_DEPENDS ${_root}/standins/accelerate/*.cpp)
    list(APPEND _backend ${_standin})
  endif()
endif()
list(APPEND TOVAN_DSP_SOURCES ${_backend})
file(GLOB TOVAN_MODEM_SOURCES CONFIGURE_DEPENDS ${_root}/modem/*.cpp ${_root}/modem/transmitter/*.cpp
     ${_root}/modem/receiver/*.cpp)
file(GLOB TOVAN_SDK_SOURCES CONFIGURE_DEPENDS ${_root}/sdk/*.cpp)
