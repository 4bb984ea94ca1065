# quoril.exe as a Windows security review reads it: the DLL search limited to
# System32 before any other code runs (the imports that are not KnownDLLs are
# delay-loaded, see QuorilWindowsDelayLoad.cmake), and the program's own code
# checking its stack frames. ASLR, high-entropy ASLR and NX are ld's defaults.
target_sources(quoril PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src/dllsearch_win.cpp)

# libssp links statically with the rest of the runtime.
target_compile_options(quoril_window PRIVATE -fstack-protector-strong)
target_compile_options(quoril PRIVATE -fstack-protector-strong)
target_link_options(quoril_window INTERFACE -fstack-protector-strong)
