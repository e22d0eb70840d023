# The benchmark library for the programs under bench/. Debian ships it for
# Linux only, so the configure step cross-builds it from Debian's source
# package, once per build tree; tools/build_benchmark.sh keeps the result
# under benchmark/ in the build tree and returns at once while it is current.
set(KELVO_BENCHMARK_DIR ${CMAKE_BINARY_DIR}/benchmark)
set(kelvo_benchmark_script ${PROJECT_SOURCE_DIR}/tools/build_benchmark.sh)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${kelvo_benchmark_script})
execute_process(COMMAND bash ${kelvo_benchmark_script} ${CMAKE_TOOLCHAIN_FILE}
                        ${KELVO_BENCHMARK_DIR}
                RESULT_VARIABLE kelvo_benchmark_result)
if(NOT kelvo_benchmark_result EQUAL 0)
  message(FATAL_ERROR "Building the benchmark library failed (see the "
                      "messages above and ${KELVO_BENCHMARK_DIR}/build.log)")
endif()
# The package adds BENCHMARK_STATIC_DEFINE for its static library.
find_package(benchmark CONFIG REQUIRED PATHS ${KELVO_BENCHMARK_DIR}
             NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
