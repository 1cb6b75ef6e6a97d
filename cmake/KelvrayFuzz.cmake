# Fuzz targets of the readers of outside bytes.
#
# A target is one source file under tests/fuzz/ that defines
#     extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
# and is declared with one line in tests/fuzz/CMakeLists.txt (or any other test folder):
#     kelvray_fuzz_target(name SOURCES name.cpp LIBS kelvray::platform)
#
# Every build makes fuzz_<name>: the target with a driver (support/FuzzDriver.cpp) that replays
# the checked-in corpus tests/fuzz/corpus/<name>/ and then runs a bounded random run from a
# fixed seed. CTest runs it as fuzz.<name>. With KELVRAY_FUZZ=ON (clang only) the build also
# makes <name>_fuzzer, a libFuzzer binary, and CTest runs it as fuzz.<name>.libfuzzer; every
# Kelvray target is then compiled with coverage for libFuzzer and with the address and
# undefined-behaviour sanitizers. A dictionary tests/fuzz/<name>.dict is used when present.

set(KELVRAY_FUZZ_RUNS 20000 CACHE STRING "Random inputs each fuzz test runs after its corpus")
set(KELVRAY_FUZZ_SECONDS 3 CACHE STRING "Most seconds the random run of each fuzz test takes")

set(KELVRAY_FUZZ_DIR ${PROJECT_SOURCE_DIR}/tests/fuzz)

if(NOT TARGET fuzzers)
    add_custom_target(fuzzers)
endif()

function(kelvray_fuzz_target name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    set(corpus ${KELVRAY_FUZZ_DIR}/corpus/${name})
    set(options -seed=1 -runs=${KELVRAY_FUZZ_RUNS} -max_total_time=${KELVRAY_FUZZ_SECONDS})
    if(EXISTS ${KELVRAY_FUZZ_DIR}/${name}.dict)
        list(APPEND options -dict=${KELVRAY_FUZZ_DIR}/${name}.dict)
    endif()
    # A sanitizer report ends the run, so that the test fails.
    set(environment "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1"
                    "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")

    add_executable(fuzz_${name} ${ARG_SOURCES} ${KELVRAY_FUZZ_DIR}/support/FuzzDriver.cpp)
    target_include_directories(fuzz_${name} PRIVATE ${KELVRAY_FUZZ_DIR} ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(fuzz_${name} PRIVATE ${ARG_LIBS})
    kelvray_target_options(fuzz_${name})
    add_dependencies(fuzzers fuzz_${name})
    add_test(NAME fuzz.${name} COMMAND fuzz_${name} ${options} ${corpus})
    set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 120 LABELS fuzz ENVIRONMENT "${environment}")

    if(KELVRAY_FUZZ)
        add_executable(${name}_fuzzer ${ARG_SOURCES})
        target_include_directories(${name}_fuzzer PRIVATE ${KELVRAY_FUZZ_DIR} ${PROJECT_SOURCE_DIR}/src)
        target_link_libraries(${name}_fuzzer PRIVATE ${ARG_LIBS})
        kelvray_target_options(${name}_fuzzer)
        target_link_options(${name}_fuzzer PRIVATE -fsanitize=fuzzer)
        add_dependencies(fuzzers ${name}_fuzzer)
        # libFuzzer keeps what it finds in the first folder: a scratch one, emptied before each
        # run so that every run starts from the corpus alone.
        set(scratch ${CMAKE_CURRENT_BINARY_DIR}/${name}_found)
        add_test(NAME fuzz.${name}.libfuzzer
                 COMMAND sh -c "rm -rf \"$1\" && mkdir -p \"$1\" && shift && exec \"$@\"" sh ${scratch}
                         $<TARGET_FILE:${name}_fuzzer> ${options} -print_final_stats=1 ${scratch} ${corpus})
        set_tests_properties(fuzz.${name}.libfuzzer PROPERTIES TIMEOUT 120 LABELS fuzz
                             ENVIRONMENT "${environment}")
    endif()
endfunction()
