# Installation and the Debian package. `cmake --install build --prefix DIR` lays out
#   DIR/bin/velclient, DIR/bin/velcrypt                     the two programs
#   DIR/etc/velsql.xml, vel_ref.xml, vel.atr, velgrant.sql,  the shipped data files, the sample
#       vl_sample.cfg (and velmsgid.properties, when etc/   instance configuration and the
#       holds the alert-log message-identifier template)    message-identifier template
#   DIR/share/doc/velclient/README.md, operating.md         the documentation
# and nothing else: the Oracle client stand-in, the agent simulator, the benchmarks and the tests
# are tools of this tree and stay in it. `cpack -G DEB` in the build folder packs the same tree
# under /opt/velclient. scripts/package-check verifies both.
set(VEL_ETC_FILES etc/velsql.xml etc/vel_ref.xml etc/vel.atr etc/velgrant.sql etc/vl_sample.cfg)
install(TARGETS velclient velcrypt RUNTIME DESTINATION bin)
install(FILES ${VEL_ETC_FILES} DESTINATION etc)
install(FILES etc/velmsgid.properties DESTINATION etc OPTIONAL)
install(FILES README.md docs/operating.md DESTINATION share/doc/velclient)

set(CPACK_PACKAGE_NAME velclient)
set(CPACK_PACKAGE_VENDOR "velclient")
set(CPACK_PACKAGE_VERSION "1.0.0")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Data collector of the monitoring agent for Oracle databases (single instance, RAC, ASM, Data Guard)")
set(CPACK_PACKAGE_CONTACT "velclient maintainers <velclient@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/velclient)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The shared libraries the programs link (ICU, expat, OpenSSL, the C++ runtime) become the
# package's dependencies; the Oracle client is loaded at run time and is not one of them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_GENERATOR DEB)
include(CPack)
