# kavrel_fuzz_target: a libFuzzer target built with clang beside the native g++ build, by a custom command, so
# the native preset needs no second toolchain. CTest runs it for a bounded number of inputs from its seed
# corpus, tests/fuzz/corpus/<name>.

find_program(KAVREL_CLANGXX NAMES clang++ clang++-14)

set(fuzz_flags -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
    -Wall -Wextra -Wshadow -Werror -I${PROJECT_SOURCE_DIR})
set(fuzz_dir ${CMAKE_BINARY_DIR}/fuzz)
file(MAKE_DIRECTORY ${fuzz_dir})

function(kavrel_fuzz_target name runs)
    if(NOT KAVREL_CLANGXX)
        message(STATUS "clang++ not found: fuzz target ${name} skipped")
        return()
    endif()
    set(sources ${ARGN})
    list(TRANSFORM sources PREPEND ${PROJECT_SOURCE_DIR}/)
    set(binary ${fuzz_dir}/${name})
    # The headers the sources may reach; one depfile cannot speak for several translation units.
    file(GLOB headers ${PROJECT_SOURCE_DIR}/discovery/*.h ${PROJECT_SOURCE_DIR}/engine/*.h ${PROJECT_SOURCE_DIR}/ui/*.h
        ${PROJECT_SOURCE_DIR}/tests/unit/discovery/*.h)
    add_custom_command(OUTPUT ${binary}
        COMMAND ${KAVREL_CLANGXX} ${fuzz_flags} ${sources} -o ${binary}
        DEPENDS ${sources} ${headers}
        COMMENT "Building fuzz target ${name} with clang"
        VERBATIM)
    add_custom_target(${name} ALL DEPENDS ${binary})
    # A scratch corpus per run: the checked-in seeds stay as they are.
    set(work ${fuzz_dir}/${name}-work)
    add_test(NAME fuzz.${name}
        COMMAND sh -c "rm -rf '${work}' && mkdir -p '${work}' && exec '${binary}' -runs=${runs} -max_len=1024 \
-print_final_stats=1 '${work}' '${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${name}'")
    set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 120)
endfunction()

