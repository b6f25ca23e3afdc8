# What `cmake --install` puts beside the two programs (whose rules are in app/ and snmp/tool/)
# for a Linux desktop: the menu entry, the icon, the AppStream metadata, the manual pages,
# bash completion, the example configuration files, and the licence and change log.
# Paths follow GNUInstallDirs, so `--prefix` and DESTDIR move everything together; nothing
# installed refers to the source or the build folder.

# The day the version in project() was released; change the two together.
set(KESTRAVA_RELEASE_DATE 2026-12-10)
set(KESTRAVA_APPSTREAM_ID example.quillbeck.kestrava)
# The project's home page, for the package's Homepage field and the copyright file's Source;
# none until the project publishes one (an invented address would send users nowhere).
set(KESTRAVA_HOMEPAGE "" CACHE STRING "The project's home page; empty: none")
if(KESTRAVA_HOMEPAGE)
  set(KESTRAVA_COPYRIGHT_SOURCE "\nSource: ${KESTRAVA_HOMEPAGE}")
else()
  set(KESTRAVA_COPYRIGHT_SOURCE "")
endif()
set(KESTRAVA_MAINTAINER "Quillbeck Kestrava maintainers <kestrava@quillbeck.example>"
    CACHE STRING "Name and address of the package maintainer")
set(KESTRAVA_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/kestrava)

set(_desktop ${PROJECT_SOURCE_DIR}/app/desktop)
set(_out ${PROJECT_BINARY_DIR}/install_files)

# Folders are 0755 and files 0644 (programs 0755) whatever the umask of the one who installs.
# CMake asks mkdir for the mode below, and the umask takes bits away from it (umask 077 would
# give folders nobody else can enter). So the first rule of the installation (this file is
# included before the modules) makes the folders, from the prefix down, and sets each one it
# made to 0755; folders that were there before are left as they are.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(GLOB _icon_folders RELATIVE ${_desktop}/icons LIST_DIRECTORIES true ${_desktop}/icons/*/apps)
list(TRANSFORM _icon_folders PREPEND ${CMAKE_INSTALL_DATADIR}/icons/hicolor/)
set(_folders ${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_DATADIR}/applications
    ${CMAKE_INSTALL_DATADIR}/metainfo ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    ${CMAKE_INSTALL_MANDIR}/man1 ${KESTRAVA_INSTALL_DOCDIR}/examples ${_icon_folders}
    lib/systemd/system)
install(CODE "set(_kestrava_folders \"${_folders}\")")
install(CODE [[
  set(_root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  foreach(_folder IN LISTS _kestrava_folders)
    if(IS_ABSOLUTE "${_folder}")
      continue()  # a folder outside the prefix is the system's
    endif()
    set(_path "${_root}")
    string(REPLACE "/" ";" _parts "${_folder}")
    foreach(_part IN ITEMS "" ${_parts})
      if(NOT _part STREQUAL "")
        string(APPEND _path "/${_part}")
      endif()
      if(NOT EXISTS "${_path}")
        file(MAKE_DIRECTORY "${_path}")
        file(CHMOD "${_path}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
             GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
      endif()
    endforeach()
  endforeach()
]])

install(FILES ${_desktop}/kestrava.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${_desktop}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
configure_file(${_desktop}/kestrava.metainfo.xml.in
               ${_out}/${KESTRAVA_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${_out}/${KESTRAVA_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${_desktop}/completion/kestrava ${_desktop}/completion/kestrava-snmp
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${KESTRAVA_INSTALL_DOCDIR}/examples
        FILES_MATCHING PATTERN "*.xml")

# The copyright file in the machine-readable Debian form, its licence text taken from LICENSE.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE _license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" _ "${_license}")
set(KESTRAVA_COPYRIGHT "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^.*\n\n(Permission is hereby)" "\\1" _terms "${_license}")
string(STRIP "${_terms}" _terms)
string(REPLACE "\n\n" "\n.\n" _terms "${_terms}")
string(REPLACE "\n" "\n " KESTRAVA_LICENSE_TERMS " ${_terms}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/deb/copyright.in ${_out}/copyright @ONLY)

# The change log's date in the form Debian change logs use.
execute_process(COMMAND date -u -R -d "${KESTRAVA_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE KESTRAVA_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/deb/changelog.in ${_out}/changelog @ONLY)

# Manual pages and the change log are installed compressed, as Debian ships them; -n leaves
# the time and name out so that the same sources give the same files.
set(_compressed)
foreach(page kestrava.1 kestrava-snmp.1 kestrava-exporter.1)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.in ${_out}/man/${page} @ONLY)
  list(APPEND _compressed ${_out}/man/${page})
endforeach()
list(APPEND _compressed ${_out}/changelog)
set(_gz)
foreach(file IN LISTS _compressed)
  add_custom_command(OUTPUT ${file}.gz COMMAND gzip -9 -n -k -f ${file} DEPENDS ${file} VERBATIM)
  list(APPEND _gz ${file}.gz)
endforeach()
add_custom_target(kestrava_install_files ALL DEPENDS ${_gz})

install(FILES ${_out}/man/kestrava.1.gz ${_out}/man/kestrava-snmp.1.gz
        ${_out}/man/kestrava-exporter.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The exporter's service (installed disabled: nothing enables it) and its sample configuration.
install(FILES ${PROJECT_SOURCE_DIR}/app/exporter/systemd/kestrava-exporter.service
        DESTINATION lib/systemd/system)
install(FILES ${PROJECT_SOURCE_DIR}/examples/kestrava-exporter.yml
        DESTINATION ${KESTRAVA_INSTALL_DOCDIR}/examples)
install(FILES ${_out}/copyright ${_out}/changelog.gz ${PROJECT_SOURCE_DIR}/docs/corner-cases.md
        DESTINATION ${KESTRAVA_INSTALL_DOCDIR})
