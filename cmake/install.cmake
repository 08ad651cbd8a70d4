# make install (Linux tree): the tool, the Windows programs, the desktop pieces, libyorvel.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# What cmake/install-time.cmake needs to know of the build; it runs first (recording the
# folders the install makes) and last (writing the files that name installed paths).
set(YORVEL_INSTALL_DIRS ${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_DATADIR}/yorvel/windows
    ${CMAKE_INSTALL_DATADIR}/applications ${CMAKE_INSTALL_DATADIR}/mime/packages
    ${CMAKE_INSTALL_DATADIR}/thumbnailers ${CMAKE_INSTALL_MANDIR}/man1 ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    ${CMAKE_INSTALL_LIBDIR}/cmake/Yorvel ${CMAKE_INSTALL_INCLUDEDIR}/yorvel)
install(CODE "
    set(YORVEL_BUILD_DIR [==[${CMAKE_BINARY_DIR}]==])
    set(YORVEL_SOURCE_DIR [==[${PROJECT_SOURCE_DIR}]==])
    set(YORVEL_INSTALL_DIRS [==[${YORVEL_INSTALL_DIRS}]==])
    set(YORVEL_BINDIR [==[${CMAKE_INSTALL_BINDIR}]==])
    set(YORVEL_LIBDIR [==[${CMAKE_INSTALL_LIBDIR}]==])
    set(YORVEL_INCLUDEDIR [==[${CMAKE_INSTALL_INCLUDEDIR}]==])
    set(YORVEL_DATADIR [==[${CMAKE_INSTALL_DATADIR}]==])
    set(PROJECT_VERSION ${PROJECT_VERSION})
    set(YORVEL_STEP folders)")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/install-time.cmake)

# libyorvel: the three cores and the encoders, static and shared, from the same sources.
set(YORVEL_LIB_SOURCES
    ${PROJECT_SOURCE_DIR}/yif_reader/yif_image.cpp ${PROJECT_SOURCE_DIR}/yif_reader/yif_encode.cpp
    ${PROJECT_SOURCE_DIR}/yif_reader/yif_dither.cpp
    ${PROJECT_SOURCE_DIR}/ydf_reader/ydf_document.cpp ${PROJECT_SOURCE_DIR}/ydf_reader/ydf_export.cpp
    ${PROJECT_SOURCE_DIR}/yaf_player/yaf_sound.cpp)
set(YORVEL_LIB_HEADERS
    ${PROJECT_SOURCE_DIR}/yif_reader/yif_image.h ${PROJECT_SOURCE_DIR}/yif_reader/yif_dither.h
    ${PROJECT_SOURCE_DIR}/ydf_reader/ydf_document.h
    ${PROJECT_SOURCE_DIR}/ydf_reader/ydf_export.h ${PROJECT_SOURCE_DIR}/yaf_player/yaf_sound.h)
add_library(yorvel_static STATIC ${YORVEL_LIB_SOURCES})
add_library(yorvel_shared SHARED ${YORVEL_LIB_SOURCES})
foreach(lib yorvel_static yorvel_shared)
    target_include_directories(${lib} PUBLIC
        $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/yif_reader>
        $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/ydf_reader>
        $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/yaf_player>
        $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/yorvel>)
    target_compile_options(${lib} PRIVATE -Wall -Wextra -Wshadow)
    # The headers need C++20 (defaulted comparisons): users of the library get it too.
    target_compile_features(${lib} PUBLIC cxx_std_20)
    set_target_properties(${lib} PROPERTIES OUTPUT_NAME yorvel POSITION_INDEPENDENT_CODE ON)
endforeach()
set_target_properties(yorvel_shared PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
                                               EXPORT_NAME yorvel)
set_target_properties(yorvel_static PROPERTIES EXPORT_NAME yorvel_static)

install(TARGETS yorvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The launcher, and the Wine set-up it shares with the build.
install(PROGRAMS ${PROJECT_SOURCE_DIR}/scripts/yorvel-view DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/scripts/wine-env.sh DESTINATION ${CMAKE_INSTALL_DATADIR}/yorvel)
install(TARGETS yorvel_static yorvel_shared EXPORT YorvelTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${YORVEL_LIB_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/yorvel)
install(EXPORT YorvelTargets NAMESPACE Yorvel:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Yorvel)
file(WRITE ${CMAKE_BINARY_DIR}/YorvelConfig.cmake
     "include(\${CMAKE_CURRENT_LIST_DIR}/YorvelTargets.cmake)\n")
write_basic_package_version_file(${CMAKE_BINARY_DIR}/YorvelConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/YorvelConfig.cmake ${CMAKE_BINARY_DIR}/YorvelConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Yorvel)

# The Windows programs, from the cross tree beside this one.
set(YORVEL_WIN64_DIR ${CMAKE_BINARY_DIR}/../win64 CACHE PATH "The MinGW-w64 build tree")
install(PROGRAMS ${YORVEL_WIN64_DIR}/YorvelYIFReader.exe ${YORVEL_WIN64_DIR}/YorvelYDFReader.exe
                 ${YORVEL_WIN64_DIR}/YorvelYAFPlayer.exe DESTINATION ${CMAKE_INSTALL_DATADIR}/yorvel/windows)

# Desktop: MIME types, the man page; the programs' entries, the thumbnailer and yorvel.pc,
# which name installed paths, are written at the end for the prefix of the install.
install(FILES ${PROJECT_SOURCE_DIR}/desktop/yorvel.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${PROJECT_SOURCE_DIR}/docs/yorvel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(CODE "set(YORVEL_STEP files)")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/install-time.cmake)

# Installed for real (no DESTDIR, which a packager's staging uses): the MIME database
# learns the new types at once. scripts/uninstall.sh refreshes it again.
install(CODE "
    if(\"\$ENV{DESTDIR}\" STREQUAL \"\")
        find_program(UPDATE_MIME update-mime-database)
        if(UPDATE_MIME)
            execute_process(COMMAND \${UPDATE_MIME} \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/mime\" OUTPUT_QUIET)
        endif()
    endif()")
