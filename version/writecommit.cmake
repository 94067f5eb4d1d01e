cmake_minimum_required(VERSION 3.21)
# Writes OUTPUT, a header defining QUILLMOOR_COMMIT: the abbreviated commit
# of SOURCE_DIR when SOURCE_DIR is the top of a git checkout, else empty.
# The file is rewritten only when that changes, so nothing rebuilds for it.
set(commit "")
find_package(Git QUIET)
if(GIT_FOUND)
    execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --show-toplevel
                    WORKING_DIRECTORY "${SOURCE_DIR}"
                    OUTPUT_VARIABLE top RESULT_VARIABLE top_failed
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    file(REAL_PATH "${SOURCE_DIR}" source)
    if(NOT top_failed)
        file(REAL_PATH "${top}" top)
    endif()
    if(NOT top_failed AND top STREQUAL source)
        execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --short=12 HEAD
                        WORKING_DIRECTORY "${SOURCE_DIR}"
                        OUTPUT_VARIABLE commit RESULT_VARIABLE commit_failed
                        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(commit_failed)
            set(commit "")
        endif()
    endif()
endif()
file(CONFIGURE OUTPUT "${OUTPUT}" CONTENT "#define QUILLMOOR_COMMIT \"@commit@\"\n" @ONLY)
