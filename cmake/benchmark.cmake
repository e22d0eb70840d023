# The benchmark library for the programs under bench/.
# tools/build_benchmark.sh keeps it under benchmark/ in the build tree.
set(KELVO_BENCHMARK_DIR ${CMAKE_BINARY_DIR}/benchmark)
kelvo_build_source_package(${PROJECT_SOURCE_DIR}/tools/build_benchmark.sh
                           ${KELVO_BENCHMARK_DIR} ${CMAKE_TOOLCHAIN_FILE})
# The package adds BENCHMARK_STATIC_DEFINE for its static library.
find_package(benchmark CONFIG REQUIRED PATHS ${KELVO_BENCHMARK_DIR}
             NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
