# Run by cmake --install (install.cmake passes it the build's values), with the prefix of the
# install, which cmake --install --prefix may set: any path, blanks and quotes included.
#   YORVEL_STEP=folders  before anything is written: records the folders the install will
#                        make, so that scripts/uninstall.sh removes those, and only those
#   YORVEL_STEP=files    the files that name installed paths: the programs' desktop entries,
#                        the thumbnailer, yorvel.pc

set(prefix "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "(.)/+$" "\\1" prefix "${prefix}")
set(destdir "$ENV{DESTDIR}")

if(YORVEL_STEP STREQUAL "folders")
    # Every folder a file goes to, and each of its parents, that is not there yet.
    set(made)
    foreach(dir ${YORVEL_INSTALL_DIRS})
        set(path "${prefix}/${dir}")
        while(NOT path STREQUAL "/" AND NOT path STREQUAL "" AND NOT EXISTS "${destdir}${path}")
            list(APPEND made "${path}")
            get_filename_component(path "${path}" DIRECTORY)
        endwhile()
    endforeach()
    list(REMOVE_DUPLICATES made)
    set(record "${YORVEL_BUILD_DIR}/install_folders.txt")
    if(CMAKE_INSTALL_COMPONENT)
        set(record "${YORVEL_BUILD_DIR}/install_folders_${CMAKE_INSTALL_COMPONENT}.txt")
    endif()
    string(REPLACE ";" "\n" text "${made}")
    file(WRITE "${record}" "${text}\n")
    return()
endif()

# desktop_string(OUT TEXT): TEXT as a desktop entry's string value (backslash doubled).
function(desktop_string out text)
    string(REPLACE "\\" "\\\\" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# desktop_arg(OUT PATH): PATH as one argument of an Exec= line: in double quotes, with ", `, $
# and \ escaped by a backslash, % doubled, and then as a string value.
function(desktop_arg out path)
    string(REPLACE "\\" "\\\\" path "${path}")
    string(REPLACE "\"" "\\\"" path "${path}")
    string(REPLACE "`" "\\`" path "${path}")
    string(REPLACE "$" "\\$" path "${path}")
    string(REPLACE "%" "%%" path "${path}")
    desktop_string(arg "\"${path}\"")
    set(${out} "${arg}" PARENT_SCOPE)
endfunction()

# pc_path(OUT PATH): PATH for a .pc file: every character a shell would take apart
# backslash-escaped, as pkg-config passes it on.
function(pc_path out path)
    string(REGEX REPLACE "([^A-Za-z0-9/._+,:=@%^-])" "\\\\\\1" path "${path}")
    set(${out} "${path}" PARENT_SCOPE)
endfunction()

set(bindir "${prefix}/${YORVEL_BINDIR}")
set(libdir "${prefix}/${YORVEL_LIBDIR}")
set(includedir "${prefix}/${YORVEL_INCLUDEDIR}/yorvel")
set(out "${YORVEL_BUILD_DIR}/installed")
file(MAKE_DIRECTORY "${out}")

desktop_arg(YORVEL_VIEW_EXEC "${bindir}/yorvel-view")
foreach(program YorvelYIFReader YorvelYDFReader YorvelYAFPlayer)
    configure_file("${YORVEL_SOURCE_DIR}/desktop/${program}.desktop.in" "${out}/${program}.desktop" @ONLY)
    file(INSTALL DESTINATION "${prefix}/${YORVEL_DATADIR}/applications" TYPE FILE
         FILES "${out}/${program}.desktop")
endforeach()

desktop_string(YORVEL_TOOL_TRYEXEC "${bindir}/yorvel")
desktop_arg(YORVEL_TOOL_EXEC "${bindir}/yorvel")
configure_file("${YORVEL_SOURCE_DIR}/desktop/yorvel.thumbnailer.in" "${out}/yorvel.thumbnailer" @ONLY)
file(INSTALL DESTINATION "${prefix}/${YORVEL_DATADIR}/thumbnailers" TYPE FILE
     FILES "${out}/yorvel.thumbnailer")

pc_path(YORVEL_PC_PREFIX "${prefix}")
pc_path(YORVEL_PC_LIBDIR "${libdir}")
pc_path(YORVEL_PC_INCLUDEDIR "${includedir}")
configure_file("${YORVEL_SOURCE_DIR}/desktop/yorvel.pc.in" "${out}/yorvel.pc" @ONLY)
file(INSTALL DESTINATION "${prefix}/${YORVEL_LIBDIR}/pkgconfig" TYPE FILE FILES "${out}/yorvel.pc")
