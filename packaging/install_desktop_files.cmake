# Run by `cmake --install`: makes the studio's desktop entry (running the installed program), the
# file type and the icons, installs them under the data folder, and refreshes the desktop's
# databases when installing straight into the prefix (a DESTDIR staging leaves that to the package).
foreach(kind BINDIR DATADIR)
  if(IS_ABSOLUTE "${KESTREL_${kind}}")
    set(${kind} "${KESTREL_${kind}}")
  else()
    set(${kind} "${CMAKE_INSTALL_PREFIX}/${KESTREL_${kind}}")
  endif()
endforeach()

file(REMOVE_RECURSE "${KESTREL_STAGE}")
execute_process(COMMAND "${KESTREL_DESKTOP_FILES}" "${KESTREL_STAGE}" "${BINDIR}/kestrel" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "The studio's desktop files could not be made (${status}).")
endif()
file(INSTALL DESTINATION "${DATADIR}" TYPE DIRECTORY
     FILES "${KESTREL_STAGE}/applications" "${KESTREL_STAGE}/mime" "${KESTREL_STAGE}/icons")

if("$ENV{DESTDIR}" STREQUAL "")
  find_program(KESTREL_UPDATE_MIME update-mime-database)
  find_program(KESTREL_UPDATE_DESKTOP update-desktop-database)
  find_program(KESTREL_UPDATE_ICONS gtk-update-icon-cache)
  if(KESTREL_UPDATE_MIME)
    message(STATUS "Refreshing the MIME database in ${DATADIR}/mime")
    execute_process(COMMAND "${KESTREL_UPDATE_MIME}" "${DATADIR}/mime")
  endif()
  if(KESTREL_UPDATE_DESKTOP)
    message(STATUS "Refreshing the desktop entry cache in ${DATADIR}/applications")
    execute_process(COMMAND "${KESTREL_UPDATE_DESKTOP}" "${DATADIR}/applications")
  endif()
  # An icon cache only where the theme has its index (a private prefix usually has none).
  if(KESTREL_UPDATE_ICONS AND EXISTS "${DATADIR}/icons/hicolor/index.theme")
    execute_process(COMMAND "${KESTREL_UPDATE_ICONS}" -q -t "${DATADIR}/icons/hicolor")
  endif()
endif()
