# Where `cmake --install` puts things. The host tree installs a Unix prefix, the layout of the
# Debian package; the Windows tree installs one flat folder, the Windows zip's, with the stub beside
# the tool. The packer finds its stub in either without being told (locateDefaultStub).
set(ONEFILE_PREFIX_BINDIR "bin")
set(ONEFILE_PREFIX_STUBDIR "lib/onefile")
if(WIN32)
  set(ONEFILE_INSTALL_BINDIR ".")
  set(ONEFILE_INSTALL_STUBDIR ".")
  set(ONEFILE_INSTALL_CMAKEDIR "cmake")
  set(ONEFILE_INSTALL_DOCDIR ".")
else()
  set(ONEFILE_INSTALL_BINDIR "${ONEFILE_PREFIX_BINDIR}")
  set(ONEFILE_INSTALL_STUBDIR "${ONEFILE_PREFIX_STUBDIR}")
  set(ONEFILE_INSTALL_CMAKEDIR "lib/cmake/OnefilePack")
  set(ONEFILE_INSTALL_DOCDIR "share/doc/onefile-pack")
  set(ONEFILE_INSTALL_MANDIR "share/man/man1")
  set(ONEFILE_INSTALL_DATADIR "share/onefile-pack")
endif()
# The packer of either tree also looks in a Unix prefix's stub folder, relative to its own.
file(RELATIVE_PATH ONEFILE_STUB_DIRECTORY_FROM_TOOL "/prefix/${ONEFILE_PREFIX_BINDIR}" "/prefix/${ONEFILE_PREFIX_STUBDIR}")
