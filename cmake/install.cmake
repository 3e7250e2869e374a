# Installation and packaging.
#
# CUPS runs filters only from its own filter directory and finds drivers only
# in its own places, whatever the install prefix: the filter goes into
# ServerBin/filter (as cups-config tells, /usr/lib/cups/filter on Debian) and
# the PPDs into /usr/share/ppd/zaridiravid, where lpinfo -m lists them.  Both
# are absolute paths, so DESTDIR staging and the Debian package put them in
# the same places.
find_program(CUPS_CONFIG_EXECUTABLE cups-config)
set(cups_serverbin /usr/lib/cups)
if(CUPS_CONFIG_EXECUTABLE)
  execute_process(COMMAND ${CUPS_CONFIG_EXECUTABLE} --serverbin
                  OUTPUT_VARIABLE cups_serverbin OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
set(ZARIDIRAVID_FILTER_DIR ${cups_serverbin}/filter CACHE PATH "Where CUPS looks for filters")
set(ZARIDIRAVID_PPD_INSTALL_DIR /usr/share/ppd/zaridiravid CACHE PATH "Where the PPDs are installed")

install(TARGETS zaridiravid RUNTIME DESTINATION ${ZARIDIRAVID_FILTER_DIR}
        PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                    WORLD_READ WORLD_EXECUTE)
install(FILES ${ZARIDIRAVID_PPDS} DESTINATION ${ZARIDIRAVID_PPD_INSTALL_DIR})

# cpack -G DEB: one package with everything installed above (and the preview
# tool, which installs itself).
set(CPACK_PACKAGE_NAME zaridiravid)
set(CPACK_PACKAGE_VENDOR "zaridiravid")
set(CPACK_PACKAGE_CONTACT "zaridiravid maintainers <maintainers@zaridiravid.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "CUPS driver and Printer Application for the Ravi thermal label printers")
set(CPACK_PACKAGE_DESCRIPTION "A CUPS filter that turns 1-bit raster pages into the \
label printers' command language, PPD files for the 31 Ravi models, and \
zaridiravid-app, an IPP Everywhere Printer Application for the same printers.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# libcups2 and libcupsimage2 for the filter, libpng16-16 for the preview tool,
# libpappl1, libavahi-client3 and libpam0g for the Printer Application, passwd
# for its user.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1, libcups2, libcupsimage2, libpng16-16, libpappl1, libavahi-client3, libpam0g, passwd")
# CUPS itself and the PDF-to-raster filters make the driver useful; Avahi
# announces the Printer Application's printers to phones (DNS-SD).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cups, cups-filters, avahi-daemon")
# The service's user is made on install, its state removed on purge.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${CMAKE_CURRENT_LIST_DIR}/postinst;${CMAKE_CURRENT_LIST_DIR}/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_GENERATOR DEB)
include(CPack)
