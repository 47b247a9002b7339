# SPDX-License-Identifier: Apache-2.0
# Run by CPack once the programs are installed, stripped, in its staging
# folder: drops their .comment section too, the compiler's name and version
# that the toolchain's start-up files bring in whatever the compile flags.
set(bin_dir "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/${CPACK_TESSAL_BINDIR}")
file(GLOB programs "${bin_dir}/*")
if(NOT programs)
    message(FATAL_ERROR "strip-comment: no programs in ${bin_dir}")
endif()
foreach(program IN LISTS programs)
    # Only ELF files; a script would be left as it is.
    file(READ "${program}" magic LIMIT 4 HEX)
    if(NOT magic STREQUAL "7f454c46")
        continue()
    endif()
    execute_process(COMMAND "${CPACK_TESSAL_STRIP}" --remove-section=.comment "${program}"
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "strip-comment: ${CPACK_TESSAL_STRIP} failed on ${program}")
    endif()
endforeach()
