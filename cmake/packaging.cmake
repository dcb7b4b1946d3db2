# The packages of a release, made by CPack: a Debian package on Linux, a
# zip of the programs on Windows. scripts/package builds both.
#
# The top entry of packaging/changelog names the release: its version must
# be the project's, and its date is the date the manual pages show.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog changelog_lines)
list(GET changelog_lines 0 changelog_top)
if(NOT changelog_top MATCHES "^tralvo \\(([^)]+)-([0-9]+)\\) ")
  message(FATAL_ERROR "packaging/changelog: the first line names no version: ${changelog_top}")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog: its top entry is ${CMAKE_MATCH_1}, the project is "
                      "${PROJECT_VERSION}; add an entry for the new version")
endif()
set(TRALVO_DEBIAN_REVISION ${CMAKE_MATCH_2})
foreach(line ${changelog_lines})
  if(line MATCHES "^ -- .*  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    list(FIND months ${CMAKE_MATCH_2} month)
    math(EXPR month "${month} + 1")
    if(month LESS 10)
      set(month 0${month})
    endif()
    set(TRALVO_RELEASE_DATE ${CMAKE_MATCH_3}-${month}-${CMAKE_MATCH_1})
    break()
  endif()
endforeach()
if(NOT TRALVO_RELEASE_DATE)
  message(FATAL_ERROR "packaging/changelog: the top entry has no date line")
endif()

set(CPACK_PACKAGE_NAME tralvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the tralvo developers")
set(CPACK_PACKAGE_CONTACT "the tralvo developers <tralvo@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "transfer of terminal bookings to export files and SQL Server")
set(CPACK_STRIP_FILES ON)

# The documents and examples each package holds are installed by
# packaging/CMakeLists.txt.
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME tralvo-${PROJECT_VERSION}-windows-x86_64)
  # The programs stand at the zip's top, so unpacking it into
  # %ProgramFiles%\tralvo, as the guides say, puts them where the batch file
  # and the task start them.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_RELEASE ${TRALVO_DEBIAN_REVISION})
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The driver manager's library and the C++ runtime, as the binaries need them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS tdsodbc)
  # The maintainer scripts create the runs' system account with adduser.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
      ${PROJECT_SOURCE_DIR}/packaging/debian/postinst ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # CPack puts the summary first and indents every line as the control file
  # needs it; an empty line becomes a paragraph break.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "tralvo reads the booking file of one terminal of a time-recording and
access-control installation and routes each booking by its kind: time
bookings to the time booking file, cost-centre bookings to the cost-centre
file, access bookings and events to a SQL Server database reached through
ODBC. It runs unattended from a scheduler and reports to a transfer log.

tralvo-ini writes, shows and checks its configuration file.")
endif()

include(CPack)
