# velmora_add_test(<name> SOURCES <files...> LIBS <targets...> [TIMEOUT <s>] [LABELS <l...>])
# One QtTest executable per unit, run headless by ctest.
set(VELMORA_TEST_RUNTIME_DIR "${CMAKE_BINARY_DIR}/test-runtime")
file(MAKE_DIRECTORY "${VELMORA_TEST_RUNTIME_DIR}")
file(CHMOD "${VELMORA_TEST_RUNTIME_DIR}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

# Headless Qt, WebEngine and SDL, and the sanitizers' options (each build reads its own).
set(VELMORA_TEST_ENV
  "QT_QPA_PLATFORM=offscreen"
  "QT_QUICK_BACKEND=software"
  "SDL_AUDIODRIVER=dummy"
  "QTWEBENGINE_CHROMIUM_FLAGS=--no-sandbox"
  "XDG_RUNTIME_DIR=${VELMORA_TEST_RUNTIME_DIR}"
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
  "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:report_signal_unsafe=0:suppressions=${CMAKE_SOURCE_DIR}/cmake/tsan.supp")

function(velmora_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    LABELS "${T_LABELS}"
    ENVIRONMENT "${VELMORA_TEST_ENV};ASAN_OPTIONS=detect_leaks=0:abort_on_error=1")
endfunction()

# velmora_add_leak_check(<name> <test target> <test function> [TIMEOUT <s>])
# Address build only: runs one function of a QtTest executable with
# LeakSanitizer on. cmake/lsan.supp lists third-party allocations that live
# as long as the process; a leak per opened file must never go there.
# Without ASan's quarantine: run alone, the function would see the freed
# blocks it holds back as resident memory growing with every cycle.
function(velmora_add_leak_check name target function)
  if(NOT VELMORA_SANITIZE STREQUAL "address")
    return()
  endif()
  cmake_parse_arguments(T "" "TIMEOUT" "" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${target} ${function})
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    LABELS leak
    ENVIRONMENT "${VELMORA_TEST_ENV};ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:quarantine_size_mb=0;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/cmake/lsan.supp:print_suppressions=1")
endfunction()
