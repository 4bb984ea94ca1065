# The same commit builds the same bytes in any folder: no path of the checkout
# ends up in the objects, whose debug information the build ID hashes. The
# project's scripts build inside the checkout, so one mapping covers both the
# sources and the generated files.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.)
