# The flags Debian builds its own packages with (dpkg-buildflags with
# hardening=+all), for the Linux build: the tool reads files that users pick
# and bytes that a device sends. Position-independent code is the compiler's
# default on Debian.
add_compile_options(
    -fstack-protector-strong
    -fstack-clash-protection
    -fcf-protection
    -Wformat
    -Werror=format-security)
add_link_options(LINKER:-z,relro LINKER:-z,now)
# Fortify needs the optimiser, and AddressSanitizer makes the same checks itself.
if(NOT QUORIL_SANITIZE)
    add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
endif()
