# Run at install time: writes the desktop entry with the program's absolute installed path and
# installs it. Given VOXEL_APP_ID, VOXEL_BINDIR (as configured: relative to the prefix, or
# absolute), VOXEL_TEMPLATE and VOXEL_STAGE (a folder of the build tree).
set(bindir "${VOXEL_BINDIR}")
if(NOT IS_ABSOLUTE "${bindir}")
  set(bindir "${CMAKE_INSTALL_PREFIX}/${bindir}")
endif()
set(exec "${bindir}/voxel")
# A path with anything beyond plain characters is quoted, as the desktop entry rules ask:
# inside the quotes ", `, $ and \ take a backslash; then every backslash is doubled, as in
# any string value, and % is written %%.
if(NOT exec MATCHES "^[A-Za-z0-9/._+,-]+$")
  string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" exec "${exec}")
  string(REPLACE "\\" "\\\\" exec "${exec}")
  set(exec "\"${exec}\"")
endif()
string(REPLACE "%" "%%" VOXEL_EXEC "${exec}")
file(READ "${VOXEL_TEMPLATE}" entry)
string(CONFIGURE "${entry}" entry @ONLY)
# One staging folder per destination: two installs at once write different entries.
string(MD5 key "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
file(WRITE "${VOXEL_STAGE}/entry-${key}/${VOXEL_APP_ID}.desktop" "${entry}")
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications" TYPE FILE
     FILES "${VOXEL_STAGE}/entry-${key}/${VOXEL_APP_ID}.desktop")
