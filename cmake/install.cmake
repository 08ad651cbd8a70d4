# make install (Linux tree): the tool, the Windows programs, the desktop pieces, libyorvel.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

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
    set_target_properties(${lib} PROPERTIES OUTPUT_NAME yorvel POSITION_INDEPENDENT_CODE ON)
endforeach()
set_target_properties(yorvel_shared PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
                                               EXPORT_NAME yorvel)
set_target_properties(yorvel_static PROPERTIES EXPORT_NAME yorvel_static)

install(TARGETS yorvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS yorvel_static yorvel_shared EXPORT YorvelTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${YORVEL_LIB_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/yorvel)
install(EXPORT YorvelTargets NAMESPACE Yorvel:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Yorvel)
file(WRITE ${CMAKE_BINARY_DIR}/YorvelConfig.cmake
     "include(\${CMAKE_CURRENT_LIST_DIR}/YorvelTargets.cmake)\n")
write_basic_package_version_file(${CMAKE_BINARY_DIR}/YorvelConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/YorvelConfig.cmake ${CMAKE_BINARY_DIR}/YorvelConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Yorvel)
configure_file(${PROJECT_SOURCE_DIR}/desktop/yorvel.pc.in ${CMAKE_BINARY_DIR}/yorvel.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/yorvel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The Windows programs, from the cross tree beside this one.
set(YORVEL_WIN64_DIR ${CMAKE_BINARY_DIR}/../win64 CACHE PATH "The MinGW-w64 build tree")
set(YORVEL_WINDOWS_DIR ${CMAKE_INSTALL_FULL_DATADIR}/yorvel/windows)
install(PROGRAMS ${YORVEL_WIN64_DIR}/YorvelYIFReader.exe ${YORVEL_WIN64_DIR}/YorvelYDFReader.exe
                 ${YORVEL_WIN64_DIR}/YorvelYAFPlayer.exe DESTINATION ${CMAKE_INSTALL_DATADIR}/yorvel/windows)

# Desktop: MIME types, the programs' entries, the man page.
install(FILES ${PROJECT_SOURCE_DIR}/desktop/yorvel.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
foreach(program YorvelYIFReader YorvelYDFReader YorvelYAFPlayer)
    configure_file(${PROJECT_SOURCE_DIR}/desktop/${program}.desktop.in ${CMAKE_BINARY_DIR}/${program}.desktop @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/${program}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/desktop/yorvel.thumbnailer.in ${CMAKE_BINARY_DIR}/yorvel.thumbnailer @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/yorvel.thumbnailer DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)
install(FILES ${PROJECT_SOURCE_DIR}/docs/yorvel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Installed for real (no DESTDIR, which a packager's staging uses): the MIME database
# learns the new types at once. scripts/uninstall.sh refreshes it again.
install(CODE "
    if(\"\$ENV{DESTDIR}\" STREQUAL \"\")
        find_program(UPDATE_MIME update-mime-database)
        if(UPDATE_MIME)
            execute_process(COMMAND \${UPDATE_MIME} \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/mime\" OUTPUT_QUIET)
        endif()
    endif()")
