# Run by CPack once the package's files are staged: compresses the man pages
# and the changelog with gzip -9n, as Debian ships them (no name or time in
# the header, so the package's bytes do not depend on when it was made).
find_program(GZIP gzip REQUIRED)
file(GLOB_RECURSE documents
    "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/man*/*.[1-9]"
    "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/doc/morvaleth/changelog")
if(NOT documents)
    message(FATAL_ERROR "no man pages or changelog staged in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(document IN LISTS documents)
    execute_process(COMMAND ${GZIP} -9nf ${document} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
