# The DLLs quoril.exe imports that are not among Windows' KnownDLLs are
# delay-loaded: resolved on first use, after src/dllsearch_win.cpp has limited
# the DLL search to System32, so that a DLL of such a name lying beside the
# executable is never loaded.
#
# Delay import libraries are made here, at configure time, from mingw-w64's
# import libraries, and take their place: Qt's package files (which look its
# libraries up with find_library) and the linker (-l) both find them first.
# Include before find_package(Qt5).
set(QUORIL_DELAY_LOADED_LIBRARIES dwmapi netapi32 userenv uxtheme version winmm wtsapi32)

set(QUORIL_DELAY_LOAD_ROOT ${CMAKE_CURRENT_BINARY_DIR}/delay-load)
set(QUORIL_DELAY_LOAD_LIBRARY_DIR ${QUORIL_DELAY_LOAD_ROOT}/lib)
file(MAKE_DIRECTORY ${QUORIL_DELAY_LOAD_LIBRARY_DIR})

foreach(tool CMAKE_DLLTOOL CMAKE_NM)
    if(NOT ${tool})
        message(FATAL_ERROR "${tool} is not set: the mingw-w64 binutils (dlltool, nm) make the delay import libraries")
    endif()
endforeach()

foreach(library IN LISTS QUORIL_DELAY_LOADED_LIBRARIES)
    find_library(QUORIL_${library}_IMPORT_LIBRARY ${library}
        PATHS ${CMAKE_FIND_ROOT_PATH} PATH_SUFFIXES lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    set(import_library ${QUORIL_${library}_IMPORT_LIBRARY})
    if(NOT import_library)
        message(FATAL_ERROR "mingw-w64's import library for ${library} is missing")
    endif()
    execute_process(COMMAND ${CMAKE_DLLTOOL} --identify ${import_library}
        OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    # The functions are the symbols with code (T): the import thunks. Data
    # cannot be delay-loaded; a program that used some would fail to link.
    execute_process(COMMAND ${CMAKE_NM} -g --defined-only ${import_library}
        OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL "[0-9a-f]+ T [^\n]+" function_lines "${symbols}")
    list(TRANSFORM function_lines REPLACE "^[0-9a-f]+ T " "")
    list(SORT function_lines)
    list(REMOVE_DUPLICATES function_lines)
    list(JOIN function_lines "\n" functions)
    set(definition ${QUORIL_DELAY_LOAD_ROOT}/${library}.def)
    file(WRITE ${definition} "LIBRARY ${dll}\nEXPORTS\n${functions}\n")
    execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${definition} --dllname ${dll}
        --output-delaylib ${QUORIL_DELAY_LOAD_LIBRARY_DIR}/lib${library}.a
        COMMAND_ERROR_IS_FATAL ANY)
endforeach()

list(PREPEND CMAKE_FIND_ROOT_PATH ${QUORIL_DELAY_LOAD_ROOT})
link_directories(BEFORE ${QUORIL_DELAY_LOAD_LIBRARY_DIR})
