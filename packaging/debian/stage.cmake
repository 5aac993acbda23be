# Run by CPack on the staged tree just before the .deb is made (CPACK_PRE_BUILD_SCRIPTS): what
# Debian asks of a package beyond the install rules. The manual pages are compressed, and the
# package's documentation folder gets the copyright file and a changelog in Debian's format.
set(usr "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
if(NOT IS_DIRECTORY "${usr}/bin")
  message(FATAL_ERROR "The staged package has no ${usr}/bin.")
endif()

# -n keeps names and times out of the compressed files, so the same pages give the same package.
file(GLOB pages "${usr}/share/man/man1/*.1")
foreach(page IN LISTS pages)
  execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip could not compress ${page}.")
  endif()
endforeach()

set(doc "${usr}/share/doc/${CPACK_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${doc}")
file(COPY_FILE "${CPACK_KESTREL_DEBIAN_DIR}/copyright" "${doc}/copyright")
file(CHMOD "${doc}/copyright" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# One changelog entry for this version, its text the version's paragraph of CHANGELOG.md, wrapped
# for Debian's 80 columns. Its date follows SOURCE_DATE_EPOCH when that is set.
file(READ "${CPACK_KESTREL_CHANGELOG}" changelog)
set(start -1)
foreach(heading "\n## ${CPACK_PACKAGE_VERSION}\n" "\n## ${CPACK_PACKAGE_VERSION} ")
  if(start EQUAL -1)
    string(FIND "${changelog}" "${heading}" start)
  endif()
endforeach()
if(start EQUAL -1)
  message(FATAL_ERROR "CHANGELOG.md has no paragraph for version ${CPACK_PACKAGE_VERSION}.")
endif()
string(SUBSTRING "${changelog}" ${start} -1 paragraph)
string(SUBSTRING "${paragraph}" 1 -1 paragraph)  # past the heading's own line, up to the next one
string(FIND "${paragraph}" "\n" cut)
string(SUBSTRING "${paragraph}" ${cut} -1 paragraph)
string(FIND "${paragraph}" "\n## " cut)
string(SUBSTRING "${paragraph}" 0 ${cut} paragraph)
string(STRIP "${paragraph}" paragraph)
# The text's own semicolons would split CMake's list of words; a one-character stand-in keeps
# the widths right meanwhile.
string(ASCII 31 semicolon)
string(REPLACE ";" "${semicolon}" paragraph "${paragraph}")
string(REGEX REPLACE "[ \n]+" ";" words "${paragraph}")
set(body "  *")
set(line "  *")
foreach(word IN LISTS words)
  string(LENGTH "${line} ${word}" width)
  if(width GREATER 78)
    string(APPEND body "\n    ${word}")
    set(line "    ${word}")
  else()
    string(APPEND body " ${word}")
    string(APPEND line " ${word}")
  endif()
endforeach()
string(REPLACE "${semicolon}" ";" body "${body}")
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${doc}/changelog"
     "${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n${body}\n\n"
     " -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${date}\n")
execute_process(COMMAND gzip -9nf "${doc}/changelog" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip could not compress the changelog.")
endif()
