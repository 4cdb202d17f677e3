# Install rules and packages.
#
#   cmake --install build             citsconv and citsconv-stack, their man
#                                     pages and the licence (Linux)
#   cd build && cpack                 a Debian package, citsconv_VERSION_ARCH.deb
#   cd build-windows && cpack         citsconv-VERSION-win64.zip: citsconv.exe,
#                                     citsconv-stack.exe, a short README.txt
#                                     and LICENSE.txt

include(GNUInstallDirs)

if(WIN32)
  # One folder to unzip anywhere: the program and its README side by side.
  install(TARGETS citsconv citsconv-stack RUNTIME DESTINATION .)
  configure_file(doc/README-windows.txt.in README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION .)
else()
  install(TARGETS citsconv citsconv-stack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Man pages are installed compressed, as on any Debian system; -n keeps
  # the name and time out of the archive, so builds are reproducible.
  find_program(GZIP_PROGRAM gzip)
  foreach(program citsconv citsconv-stack)
    configure_file(doc/${program}.1.in ${program}.1 @ONLY)
    set(CITSCONV_MAN_PAGE ${CMAKE_CURRENT_BINARY_DIR}/${program}.1)
    if(GZIP_PROGRAM)
      add_custom_command(OUTPUT ${program}.1.gz
        COMMAND ${GZIP_PROGRAM} -9nkf ${program}.1
        DEPENDS ${CITSCONV_MAN_PAGE}
        COMMENT "Compressing the man page of ${program}")
      add_custom_target(${program}-man-page ALL DEPENDS ${program}.1.gz)
      set(CITSCONV_MAN_PAGE ${CMAKE_CURRENT_BINARY_DIR}/${program}.1.gz)
    endif()
    install(FILES ${CITSCONV_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
endif()

# The licence: beside the program in the zip, with Windows line ends; where
# a Debian system keeps each package's licence otherwise.
if(WIN32)
  configure_file(LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt DESTINATION .)
else()
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
endif()

set(CITSCONV_PACKAGE_CONTACT "citsconv maintainers <citsconv@localhost>"
  CACHE STRING "Maintainer named in the packages: name <address>")

set(CPACK_PACKAGE_NAME citsconv)
set(CPACK_PACKAGE_VENDOR "citsconv")
set(CPACK_PACKAGE_CONTACT "${CITSCONV_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "convert CITS data sets of a scanning tunnelling microscope into image files")
set(CPACK_PACKAGE_DESCRIPTION [=[
A console dialogue asks for a data set of a current imaging tunnelling
spectroscopy (CITS) measurement and for one of its CITS images, or two for
their difference, and writes that image as a headerless file of 16-bit
big-endian samples, together with a copy of the data set's parameter file.
citsconv-stack writes all CITS images of a data set, or a range of them, in
one pass into one stack file that ImageJ, Fiji or numpy open as raw data.]=])
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  # The dependencies (C and C++ runtime) as dpkg-shlibdeps finds them.
  find_program(DPKG_SHLIBDEPS_PROGRAM dpkg-shlibdeps)
  if(DPKG_SHLIBDEPS_PROGRAM)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
endif()
include(CPack)
