# What `cmake --install build/host` installs and what `make deb` packs (CPack,
# Debian): mksfx, its manual page and bash completion, the stub it carries as a
# file of its own, the licence as Debian's copyright file and the changelog.
include(GNUInstallDirs)
# Installing needs mksfx only, not the tests and benchmarks of this tree.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)
install(TARGETS mksfx RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual page and changelog are installed gzipped; -n keeps name and time out
# of the gzip header, so the same text always gives the same bytes.
set(packed_docs)
foreach(source tools/mksfx/mksfx.1 cmake/changelog)
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/${source} > ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/${source} VERBATIM)
  list(APPEND packed_docs ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
endforeach()
add_custom_target(packed-docs ALL DEPENDS ${packed_docs})
set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/zelvix-sfx)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/mksfx.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${doc_dir})
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${doc_dir} RENAME copyright)
install(FILES ${PROJECT_SOURCE_DIR}/tools/mksfx/mksfx.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME mksfx)
if(ZELVIX_STUB_FILE)
  install(FILES ${ZELVIX_STUB_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/zelvix-sfx RENAME sfx.exe)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelvix-sfx)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Zelvix SFX maintainers <maintainers@zelvix.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builds and checks self-extracting ZIP archives for Windows")
# Lines of at most 79 characters: the control file indents each by one.
set(CPACK_PACKAGE_DESCRIPTION
  "mksfx packs files, or a ZIP archive from another tool, behind a small 32-bit
Windows program that shows the members in a dialog and extracts them, verified
by CRC-32. It lists, tests and extracts such archives on Linux with that
program's own decoders.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS osslsigncode)
include(CPack)
