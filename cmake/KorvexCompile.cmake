# Compile settings shared by every Korvex target.
add_library(korvex_compile_options INTERFACE)
target_compile_options(korvex_compile_options INTERFACE -Wall -Wextra -Wshadow -Woverloaded-virtual)
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

# The layers: the modules each module may link (the arrows of CONTRIBUTING.md's Layout).
# korvex_module refuses any other, so an arrow that is not drawn does not build.
set(KORVEX_LAYER_korvex_base "")
set(KORVEX_LAYER_korvex_search "")
set(KORVEX_LAYER_korvex_header korvex_base)
set(KORVEX_LAYER_korvex_contents korvex_header korvex_base)
set(KORVEX_LAYER_korvex_ui korvex_base)
set(KORVEX_LAYER_korvex_hexeditor korvex_base korvex_search)
set(KORVEX_LAYER_korvex_hexviewer korvex_hexeditor korvex_ui korvex_header korvex_base)
set(KORVEX_LAYER_korvex_viewer korvex_header korvex_contents korvex_hexviewer korvex_ui korvex_base)
set(KORVEX_LAYER_korvex_cli_lib korvex_contents korvex_header korvex_search korvex_base)

function(korvex_check_layer name)
  if(NOT DEFINED KORVEX_LAYER_${name})
    message(FATAL_ERROR "${name} is not in the layer table of cmake/KorvexCompile.cmake")
  endif()
  # Only our own modules are layered; outside libraries (Qt, CLI11, ...) are the module's choice.
  foreach(dep ${ARGN})
    if(dep MATCHES "^korvex_" AND NOT dep IN_LIST KORVEX_LAYER_${name})
      message(FATAL_ERROR "${name} may not link ${dep}: that arrow is not in the layer table "
        "(cmake/KorvexCompile.cmake, the Layout section of CONTRIBUTING.md)")
    endif()
  endforeach()
endfunction()

# korvex_module(name [QT] SOURCES ... [PUBLIC deps...] [PRIVATE deps...])
# One static library per src/ folder. Its headers are included by module ("header/FieldTable.h"):
# each module gets an include folder of its own that holds only a link named after the src/
# folder, so a target sees exactly the modules it links, and the layers are the build's to
# enforce. PUBLIC names the modules its public headers need, PRIVATE the ones only its
# sources use.
function(korvex_module name)
  cmake_parse_arguments(M "QT" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  korvex_check_layer(${name} ${M_PUBLIC} ${M_PRIVATE})
  add_library(${name} STATIC ${M_SOURCES})
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(stage ${CMAKE_BINARY_DIR}/modules/${name})
  file(MAKE_DIRECTORY ${stage})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${stage}/${folder} SYMBOLIC)
  target_include_directories(${name} PUBLIC ${stage})
  target_link_libraries(${name} PUBLIC ${M_PUBLIC} PRIVATE ${M_PRIVATE} korvex_compile_options)
  if(M_QT)
    target_link_libraries(${name} PUBLIC Qt6::Core Qt6::Gui Qt6::Widgets)
  endif()
endfunction()
