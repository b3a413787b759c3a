# Run by CPack on its staging tree before it builds the package: compresses the manual pages
# and the changelog with `gzip -9n` (no name or time stamp, so the package is reproducible).
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file IN LISTS staged)
  if(file MATCHES "/share/man/man[1-9]/[^/]+\\.[1-9]$" OR file MATCHES "/share/doc/[^/]+/changelog$")
    execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "gzip failed on ${file}")
    endif()
  endif()
endforeach()
