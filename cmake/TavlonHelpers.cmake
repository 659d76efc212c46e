# tavlon_add_test(<name> SOURCES <files...> LIBS <targets...> [TIMEOUT <s>] [LABELS <l...>])
# One QtTest executable per unit, run headless by CTest.
function(tavlon_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${TAVLON_TEST_BIN_DIR}")
  target_compile_definitions(${name} PRIVATE
    TAVLON_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    TAVLON_BINARY_DIR="${CMAKE_BINARY_DIR}"
    TAVLON_SOURCE_TOOLING="${TAVLON_SOURCE_TOOLING}"
    TAVLON_BUNDLE_DIR="${TAVLON_BUNDLE_DIR}")
  add_dependencies(${name} tavlon_strings)
  tavlon_link_network(${name})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    LABELS "${T_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen:configfile=${CMAKE_SOURCE_DIR}/tests/common/screens.json;QTEST_FUNCTION_TIMEOUT=240000;ASAN_OPTIONS=detect_leaks=0:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endfunction()

# tavlon_add_library(<name> SOURCES <files...> PUBLIC_LIBS <targets...> [PRIVATE_LIBS <...>])
function(tavlon_add_library name)
  cmake_parse_arguments(L "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC "${CMAKE_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC ${L_PUBLIC_LIBS} PRIVATE ${L_PRIVATE_LIBS})
endfunction()

# tavlon_add_area(<area> LOGIC_LIBS <targets...> UI_LIBS <targets...>)
# Builds tavlon_<area> from every source below src/<area>/ except ui/, and,
# when src/<area>/ui/ exists, tavlon_<area>_ui from the sources there.
function(tavlon_add_area area)
  cmake_parse_arguments(A "" "" "LOGIC_LIBS;UI_LIBS" ${ARGN})
  set(dir "${CMAKE_SOURCE_DIR}/src/${area}")
  file(GLOB_RECURSE logic CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.h")
  list(FILTER logic EXCLUDE REGEX "^${dir}/ui/")
  tavlon_add_library(tavlon_${area} SOURCES ${logic} PUBLIC_LIBS ${A_LOGIC_LIBS})
  if(IS_DIRECTORY "${dir}/ui")
    file(GLOB_RECURSE ui CONFIGURE_DEPENDS "${dir}/ui/*.cpp" "${dir}/ui/*.h")
    tavlon_add_library(tavlon_${area}_ui SOURCES ${ui} PUBLIC_LIBS tavlon_${area} Qt6::Widgets ${A_UI_LIBS})
  endif()
endfunction()

# tavlon_export_media_symbols(<target>)
# A program that loads the media module exports MediaPlayer's symbols to it, so
# there is one MediaPlayer (its meta-object, signals) in the process, and the
# media area's logging category (lcMedia).
function(tavlon_export_media_symbols target)
  foreach(symbol _ZN11MediaPlayer* _ZNK11MediaPlayer* _ZTV11MediaPlayer _ZTI11MediaPlayer _ZTS11MediaPlayer
                 _ZN9MediaTime* _ZNK9MediaTime* _Z7lcMediav)
    target_link_options(${target} PRIVATE "LINKER:--export-dynamic-symbol=${symbol}")
  endforeach()
  target_link_options(${target} PRIVATE "LINKER:--undefined=_Z7lcMediav")
endfunction()

# tavlon_link_network(<target>)
# Links the session's sign-in client and vault and the updater's machinery into
# a program that links those areas (tests, benches), registered at start, so it
# loads no network module. Harmless for a program that links neither.
function(tavlon_link_network target)
  target_link_options(${target} PRIVATE
    "LINKER:--undefined=tavlon_linked_session_network"
    "LINKER:--undefined=tavlon_linked_updates")
endfunction()
