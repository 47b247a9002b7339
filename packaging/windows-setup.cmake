# SPDX-License-Identifier: Apache-2.0
# CPack's settings for the Windows setup program, read by
# `cpack --config` through a file that scripts/build-windows writes, which
# sets before including this one:
#   TESSAL_SETUP_FILES    the Tessal folder of the zip, packed as it is
#   TESSAL_SETUP_VERSION  the project's version
#   TESSAL_SETUP_LICENSE  the text the license page shows
#   TESSAL_SETUP_SIZE_KB  the installed size, for the list of installed apps
# The setup program is 64-bit (NSIS's amd64 stub), as the console is: it
# installs into the 64-bit Program Files and writes the 64-bit registry.
set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME Tessal)
set(CPACK_PACKAGE_VENDOR Tessal)
set(CPACK_PACKAGE_VERSION "${TESSAL_SETUP_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Service console for the GSM/GPRS communicator of a fiscal cash register")
set(CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}.")
set(CPACK_PACKAGE_FILE_NAME "tessal-${TESSAL_SETUP_VERSION}-win64-setup")
set(CPACK_INSTALLED_DIRECTORIES "${TESSAL_SETUP_FILES};.")
set(CPACK_INSTALL_CMAKE_PROJECTS "")
set(CPACK_STRIP_FILES OFF)
set(CPACK_RESOURCE_FILE_LICENSE "${TESSAL_SETUP_LICENSE}")

set(CPACK_PACKAGE_INSTALL_DIRECTORY Tessal)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Tessal)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME Tessal)
set(CPACK_NSIS_DISPLAY_NAME Tessal)
set(CPACK_NSIS_UNINSTALL_NAME Uninstall)
set(CPACK_NSIS_INSTALLED_ICON_NAME tessal.exe)
set(CPACK_NSIS_CONTACT "devel@tessal.org")
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
# The Start menu: Tessal, and beside it the uninstaller's entry.
set(CPACK_PACKAGE_EXECUTABLES tessal Tessal)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_MODIFY_PATH OFF)
# An older version is removed first (silently), so that none of its files
# stays; the user's settings and register under %LOCALAPPDATA%\Tessal are
# not the setup program's and stay.
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(tessal_uninstall_key "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tessal")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS
    "WriteRegDWORD SHCTX \"${tessal_uninstall_key}\" \"EstimatedSize\" ${TESSAL_SETUP_SIZE_KB}")
