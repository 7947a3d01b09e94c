# The Debian package (scripts/package --deb, or `cpack -G DEB` in a build):
# the program folder in /opt/lckb, the command `lckb` on the path, the menu
# entry, icons, manual page and Debian's doc files. Its install rules form
# the component "deb"; the portable archive takes the component "portable"
# (packaging/cpack-generators.cmake picks one per generator).

set(LCKB_DEB_PROGRAM_DIR /opt/lckb CACHE STRING "Where the Debian package puts the program folder")
set(LCKB_DEB_MAINTAINER "lckb maintainers <lckb@lckb.example>" CACHE STRING "Maintainer field of the Debian package")
string(REGEX REPLACE "^/" "" deb_prog "${LCKB_DEB_PROGRAM_DIR}")
set(deb_in ${CMAKE_CURRENT_LIST_DIR}/debian)
set(deb_out ${CMAKE_BINARY_DIR}/deb)
file(MAKE_DIRECTORY ${deb_out})

# The changelog is written by hand; a release that forgets it fails here
# rather than shipping a package whose changelog names another version.
file(STRINGS ${deb_in}/changelog deb_top LIMIT_COUNT 1)
if(NOT deb_top MATCHES "^lckb \\(${PROJECT_VERSION}-1\\) ")
    message(FATAL_ERROR "packaging/debian/changelog does not start with version ${PROJECT_VERSION}-1")
endif()

# A package is what ships: a build with the sanitizers (LCKB_SANITIZE) is
# never packaged. Its program needs the sanitizer runtimes and reads its leak
# suppressions from this source tree.
if(LCKB_SANITIZE)
    install(CODE "message(FATAL_ERROR \"a sanitizer build (LCKB_SANITIZE) is never packaged: use a build without it\")"
        COMPONENT deb)
endif()

# The program folder. The executable finds its sounds beside itself through
# /proc/self/exe, so the command on the path can be a plain symlink.
install(TARGETS lckb RUNTIME DESTINATION ${deb_prog} COMPONENT deb)
# Stripped as Debian's own packages are (dh_strip), without the compiler's
# .comment and .note sections.
install(CODE "execute_process(COMMAND ${CMAKE_STRIP} --remove-section=.comment --remove-section=.note
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${deb_prog}/lckb\" COMMAND_ERROR_IS_FATAL ANY)" COMPONENT deb)
install(FILES ${CMAKE_SOURCE_DIR}/assets/ts.wav ${CMAKE_SOURCE_DIR}/assets/ts1.wav
    DESTINATION ${deb_prog} COMPONENT deb)
# (Relative within /usr, absolute across top-level folders, as Debian wants.)
set(deb_link_target ${LCKB_DEB_PROGRAM_DIR}/lckb)
if(LCKB_DEB_PROGRAM_DIR MATCHES "^/usr/")
    file(RELATIVE_PATH deb_link_target /usr/bin ${LCKB_DEB_PROGRAM_DIR}/lckb)
endif()
file(CREATE_LINK ${deb_link_target} ${deb_out}/lckb SYMBOLIC)
install(FILES ${deb_out}/lckb DESTINATION usr/bin COMPONENT deb)

# The menu entry: the portable one, starting the command on the path.
file(READ ${CMAKE_SOURCE_DIR}/packaging/lckb.desktop.in deb_desktop)
string(REGEX REPLACE "\nExec=[^\n]*" "\nExec=lckb" deb_desktop "${deb_desktop}")
string(REGEX REPLACE "\nPath=[^\n]*" "" deb_desktop "${deb_desktop}")
file(WRITE ${deb_out}/lckb.desktop "${deb_desktop}")
install(FILES ${deb_out}/lckb.desktop DESTINATION usr/share/applications COMPONENT deb)

# The software centres' listing (AppStream). Its screenshots are those of
# docs/screenshots, published under the homepage.
set(LCKB_APPSTREAM_ID example.lckb.lckb CACHE STRING "AppStream component id (reverse domain name)")
set(LCKB_HOMEPAGE https://lckb.example CACHE STRING "The project's homepage, which publishes docs/screenshots under /screenshots")
set(APPSTREAM_ID ${LCKB_APPSTREAM_ID})
configure_file(${CMAKE_SOURCE_DIR}/packaging/lckb.metainfo.xml.in ${deb_out}/${LCKB_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${deb_out}/${LCKB_APPSTREAM_ID}.metainfo.xml DESTINATION usr/share/metainfo COMPONENT deb)

# Icons, drawn at build time by lckb-icons (assets/), in the hicolor theme.
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${CMAKE_BINARY_DIR}/icons/lckb-${size}.png DESTINATION usr/share/icons/hicolor/${size}x${size}/apps
        RENAME lckb.png COMPONENT deb)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/assets/lckb.svg DESTINATION usr/share/icons/hicolor/scalable/apps COMPONENT deb)

# Manual page and changelog, compressed the way Debian wants (no time stamp).
configure_file(${deb_in}/lckb.1 ${deb_out}/lckb.1 @ONLY)
configure_file(${deb_in}/postrm.in ${deb_out}/postrm @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
add_custom_command(OUTPUT ${deb_out}/lckb.1.gz ${deb_out}/changelog.Debian.gz
    COMMAND gzip -9nc ${deb_out}/lckb.1 > ${deb_out}/lckb.1.gz
    COMMAND gzip -9nc ${deb_in}/changelog > ${deb_out}/changelog.Debian.gz
    DEPENDS ${deb_out}/lckb.1 ${deb_in}/changelog
    VERBATIM)
add_custom_target(lckb-deb-files ALL DEPENDS ${deb_out}/lckb.1.gz ${deb_out}/changelog.Debian.gz)
install(FILES ${deb_out}/lckb.1.gz DESTINATION usr/share/man/man1 COMPONENT deb)
install(FILES ${deb_in}/copyright ${deb_out}/changelog.Debian.gz DESTINATION usr/share/doc/lckb COMPONENT deb)
set(deb_overrides "# Not uploaded to Debian, so there is no ITP bug to close.
lckb: initial-upload-closes-no-bugs\n")
if(LCKB_DEB_PROGRAM_DIR MATCHES "^/opt/")
    string(APPEND deb_overrides "# lckb is add-on software from outside Debian; the Filesystem Hierarchy
# Standard gives /opt to such packages, one folder each.
lckb: dir-or-file-in-opt [${deb_prog}/]
lckb: dir-or-file-in-opt [${deb_prog}/*]\n")
endif()
file(WRITE ${deb_out}/lintian-overrides "${deb_overrides}")
install(FILES ${deb_out}/lintian-overrides DESTINATION usr/share/lintian/overrides RENAME lckb COMPONENT deb)

set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LCKB_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The first line (the summary) is CPACK_PACKAGE_DESCRIPTION_SUMMARY; CPack
# indents the rest and turns blank lines into " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "lckb (澜策快报) stays in the notification area, shows the service's web page,
types in the login the user asked it to remember, and announces new
bulletins of the subscribed channels with a pop-up and a sound. Its text is
Chinese.

澜策快报：常驻系统托盘的股市快讯客户端。显示服务网页，自动填写保存的登录，
订阅频道有新快讯时在屏幕右下角弹窗并提示音。")
# Linked libraries come from dpkg-shlibdeps (Debian's QtWebEngineCore also
# brings in libqt6webenginecore6-bin, the browser's helper process). Not
# linked but needed: a font with Chinese glyphs. Qt 6.4's sound goes only to
# a PulseAudio server (PipeWire's counts); links open through xdg-open.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei | fonts-wqy-zenhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse, xdg-utils, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${deb_out}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
