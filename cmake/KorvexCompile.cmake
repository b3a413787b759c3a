# Compile settings shared by every Korvex target.
add_library(korvex_compile_options INTERFACE)
target_compile_options(korvex_compile_options INTERFACE -Wall -Wextra)
if(KORVEX_WERROR)
  target_compile_options(korvex_compile_options INTERFACE -Werror)
endif()
if(KORVEX_SANITIZE)
  # Applied globally so that every object (and the test runner) shares one runtime.
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(KORVEX_BUILD_FUZZ)
  # Coverage instrumentation for the libraries the fuzz targets link; the targets themselves
  # add the libFuzzer runtime (fuzz/CMakeLists.txt).
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# korvex_module(name DIR [QT] SOURCES ... DEPS ...)
# One static library per src/ folder; DEPS names the only modules it may use.
function(korvex_module name)
  cmake_parse_arguments(M "QT" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${M_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${M_DEPS} PRIVATE korvex_compile_options)
  if(M_QT)
    target_link_libraries(${name} PUBLIC Qt6::Core Qt6::Gui Qt6::Widgets)
  endif()
endfunction()
